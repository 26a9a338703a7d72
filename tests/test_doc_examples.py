"""Every example in README.md and docs/*.md runs here, so an example that no longer does what
it shows fails the suite.

- ```python blocks with `>>>` prompts are doctests: every statement's output must be the one
  shown, exceptions included (doctest's form: `Traceback (most recent call last):`, an
  indented `...`, then the exception's last line). Other ```python blocks are executed and
  must not raise. The blocks of one file share one namespace, in file order, as in one
  interactive session.
- ```console blocks: every `$ lorvane ...` line is run with the installed tool, in a
  temporary directory (one per block) holding copies of the bundled samples (statement.csv,
  rules.json, labelled.csv, loan.json). The lines after a command, up to the next `$ ` line,
  are its standard output and standard error together; `...` stands for any text, on a line
  of its own for any number of lines. A command whose output shows a `lorvane: error: ` line
  must fail; any other must succeed. A command continues onto the next line after a `\\`.
- A block that cannot run in a test says so where readers see it: a ```python block whose
  first line is `# not run by the tests: REASON`, or a console command ending in
  `# not run by the tests: REASON` (that command is not run; its shown output is not
  checked). Nothing else is skipped. ```sh blocks (commands to type), ```text and ```json
  blocks are not examples with a result and are not run; a block of any other kind fails
  here, so that no example escapes by its spelling.
- The examples in the typed stubs' docstrings (python/lorvane.pyi) run as doctests too.
"""

import ast
import collections
import doctest
import os
import pathlib
import re
import shlex
import shutil
import subprocess
import sys
import traceback

import pytest

import lorvane
import lorvane_cli

ROOT = pathlib.Path(__file__).resolve().parent.parent
DOCUMENTS = [ROOT / "README.md"] + sorted((ROOT / "docs").glob("*.md"))
STUBS = ROOT / "python" / "lorvane.pyi"
NOT_RUN = "# not run by the tests:"
RUN_KINDS = {"python", "console"}
SHOWN_KINDS = {"sh", "text", "json"}
SHELL_OPERATORS = {"|", "||", "&&", ";", "&", ">", ">>", "<", "2>", "2>&1", "&>"}

Block = collections.namedtuple("Block", "path line kind text")
Command = collections.namedtuple("Command", "line text output")

FENCE = re.compile(r"^( *)(`{3,}|~{3,})\s*([^\s`]*)")


def read_blocks(path):
    """The fenced blocks of a Markdown file: kind (the info string's first word, lower case),
    the line of the first line inside, and the text with the fence's indentation removed."""
    lines = path.read_text(encoding="utf-8").splitlines()
    blocks, number = [], 0
    while number < len(lines):
        opening = FENCE.match(lines[number])
        number += 1
        if not opening:
            continue
        indent, fence, kind = len(opening.group(1)), opening.group(2), opening.group(3).lower()
        first, body = number, []
        while number < len(lines):
            stripped = lines[number].strip()
            if stripped.startswith(fence) and stripped.strip(fence[0]) == "":
                break
            line = lines[number]
            body.append(line[indent:] if line[:indent].strip() == "" else line)
            number += 1
        else:
            raise ValueError("%s:%d: the block opened here is not closed" % (path, first))
        number += 1
        blocks.append(Block(path, first + 1, kind, "\n".join(body) + "\n"))
    return blocks


ALL_BLOCKS = [block for path in DOCUMENTS for block in read_blocks(path)]
PYTHON_BLOCKS = [block for block in ALL_BLOCKS if block.kind == "python"]
CONSOLE_BLOCKS = [block for block in ALL_BLOCKS if block.kind == "console"]


def name(block):
    return "%s:%d" % (block.path.relative_to(ROOT).as_posix(), block.line)


def not_run_reason(block):
    first = block.text.lstrip("\n").split("\n", 1)[0].strip()
    return first[len(NOT_RUN):].strip() if first.startswith(NOT_RUN) else None


def is_doctest(text):
    return any(line.lstrip().startswith(">>>") for line in text.splitlines())


def run_python(block, namespace, report):
    """Runs one block in the namespace; report(text) gets every failure."""
    if is_doctest(block.text):
        test = doctest.DocTestParser().get_doctest(block.text, namespace, name(block),
                                                   str(block.path), block.line - 1)
        runner = doctest.DocTestRunner(verbose=False)
        runner.run(test, out=report, clear_globs=False)
        namespace.update(test.globs)  # the test ran on a copy
        return runner.failures == 0
    # Blank lines ahead, so that a traceback names the document's own line numbers.
    code = compile("\n" * (block.line - 1) + block.text, str(block.path), "exec", dont_inherit=True)
    try:
        exec(code, namespace)
    except Exception:
        report("%s raised:\n%s" % (name(block), traceback.format_exc()))
        return False
    return True


def test_every_block_is_of_a_known_kind():
    unknown = [(name(b), b.kind) for b in ALL_BLOCKS if b.kind not in RUN_KINDS | SHOWN_KINDS]
    assert unknown == [], "give these blocks one of %s" % sorted(RUN_KINDS | SHOWN_KINDS)
    assert len(PYTHON_BLOCKS) >= 5, "the README's examples were not found"


@pytest.mark.parametrize("block", PYTHON_BLOCKS, ids=[name(b) for b in PYTHON_BLOCKS])
def test_python_example(block):
    reason = not_run_reason(block)
    if reason is not None:
        pytest.skip("not run by the tests: " + reason)
    namespace = {"__name__": "__main__"}
    for earlier in PYTHON_BLOCKS:
        if earlier is block:
            break
        if earlier.path == block.path and not_run_reason(earlier) is None:
            run_python(earlier, namespace, lambda text: None)  # reported by its own test
    failures = []
    if not run_python(block, namespace, failures.append):
        pytest.fail("".join(failures), pytrace=False)


def console_commands(block):
    """The `$ ` commands of a console block, each with the output lines shown after it."""
    commands, continued = [], False
    for offset, line in enumerate(block.text.splitlines()):
        if continued:
            last = commands[-1]
            commands[-1] = last._replace(text=last.text[:-1] + " " + line.strip())
        elif line.startswith("$ "):
            commands.append(Command(block.line + offset, line[2:].strip(), []))
        elif commands:
            commands[-1].output.append(line)
        elif line.strip():
            raise ValueError("%s: output before the first `$ ` command" % name(block))
        continued = bool(commands) and commands[-1].text.endswith("\\")
    return commands


def tool():
    """The installed `lorvane` command of this interpreter's environment, or the same tool
    run as a module where no script was installed (a build put on PYTHONPATH)."""
    script = os.path.join(os.path.dirname(sys.executable), "lorvane")
    if os.path.isfile(script) and os.access(script, os.X_OK):
        return [script]
    return [sys.executable, "-m", "lorvane_cli"]


def tidy(text):
    return "\n".join(line.rstrip() for line in text.splitlines()).rstrip("\n") + "\n"


def require(condition, message):
    if not condition:
        raise AssertionError(message)


def run_console_block(block, directory):
    """Runs the block's commands in the directory; an AssertionError names the first that
    does not do what the block shows. Returns the reasons of the commands marked not run."""
    samples = os.path.join(os.path.dirname(lorvane_cli.__file__), "data")
    for sample in os.listdir(samples):
        shutil.copy(os.path.join(samples, sample), directory)
    environment = dict(os.environ, PYTHONUNBUFFERED="1", PYTHONIOENCODING="utf-8")
    checker, not_run = doctest.OutputChecker(), []
    for command in console_commands(block):
        if NOT_RUN in command.text:
            not_run.append(command.text[command.text.index(NOT_RUN):])
            continue
        where = "%s:%d: $ %s" % (name(block).rsplit(":", 1)[0], command.line, command.text)
        words = shlex.split(command.text, comments=True)
        require(words[:1] == ["lorvane"], "%s\nonly `$ lorvane ...` commands run here; end "
                "any other with `%s REASON`" % (where, NOT_RUN))
        require(not SHELL_OPERATORS & set(words), "%s\nno shell operators here" % where)
        process = subprocess.run(tool() + words[1:], cwd=directory, env=environment,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                 encoding="utf-8", timeout=300)
        want, got = tidy("\n".join(command.output)), tidy(process.stdout)
        require(checker.check_output(want, got, doctest.ELLIPSIS),
                "%s\n--- shown\n%s--- printed\n%s" % (where, want, got))
        fails = any(line.startswith("lorvane: error: ") for line in command.output)
        require((process.returncode != 0) == fails, "%s\nexit status %d" % (where, process.returncode))
    return not_run


@pytest.mark.parametrize("block", CONSOLE_BLOCKS, ids=[name(b) for b in CONSOLE_BLOCKS])
def test_console_example(block, tmp_path):
    commands = console_commands(block)
    not_run = run_console_block(block, str(tmp_path))
    if len(not_run) == len(commands):
        pytest.skip("; ".join(not_run))


# The console runner on blocks written here, while the documents have few console blocks.
RUNS = """\
$ lorvane --version
lorvane ...
$ lorvane derive labelled.csv -o my-rules.json
$ lorvane categorize statement.csv \\
    --rules my-rules.json
Date,Narration,Withdrawal,Deposit,Balance,category,merchant
01/04/2025,NEFT-ACME TECHNOLOGIES PVT LTD-SALARY APR,,185000.00,249210.35,Income,Acme Technologies
...
$ lorvane categorize missing.csv --rules rules.json
lorvane: error: missing.csv: no such file
$ lorvane categorize statement.csv --rules rules.json --scheduler tcp://HOST:8786  # not run by the tests: needs a cluster
"""


@pytest.mark.parametrize(
    "text, failure",
    [
        pytest.param(RUNS, None, id="documented"),
        pytest.param("$ lorvane --version\nlorvane 0.0.0\n", "--- shown\nlorvane 0.0.0",
                     id="other-output"),
        pytest.param("$ lorvane --version\n", "--- shown\n\n--- printed\nlorvane ", id="output-not-shown"),
        pytest.param("$ lorvane derive labelled.csv -o out.json\n$ lorvane derive labelled.csv -o out.json\n"
                     "lorvane: error: out.json already exists...\n", None, id="files-kept-between-commands"),
        pytest.param("$ lorvane derive missing.csv\n...\n", "exit status 2", id="unexpected-failure"),
        pytest.param("$ lorvane --version\nlorvane: error: ...\n", "--- shown", id="unexpected-success"),
        pytest.param("$ lorvane --version\nlorvane ...\n$ cat rules.json\n", "only `$ lorvane ...` commands",
                     id="other-command"),
        pytest.param("$ lorvane derive labelled.csv > out.json\n", "no shell operators", id="redirection"),
        pytest.param("$ lorvane derive labelled.csv | head\n", "no shell operators", id="pipe"),
    ],
)
def test_console_runner(text, failure, tmp_path):
    block = Block(ROOT / "docs" / "example.md", 10, "console", text)
    try:
        run_console_block(block, str(tmp_path))
    except AssertionError as error:
        assert failure is not None and failure in str(error), str(error)
    else:
        assert failure is None


def stub_docstrings():
    tree = ast.parse(STUBS.read_text(encoding="utf-8"))
    return [pytest.param(ast.get_docstring(node) or "", node.body[0].lineno, id=node.name)
            for node in tree.body if isinstance(node, ast.FunctionDef)]


@pytest.mark.parametrize("docstring, line", stub_docstrings())
def test_stub_docstring_example(docstring, line, request):
    function = request.node.callspec.id
    require(is_doctest(docstring), "%s has no example in the stubs" % function)
    test = doctest.DocTestParser().get_doctest(docstring, {"lorvane": lorvane}, function,
                                               str(STUBS), line - 1)
    runner = doctest.DocTestRunner(verbose=False)
    failures = []
    runner.run(test, out=failures.append)
    if runner.failures:
        pytest.fail("".join(failures), pytrace=False)
