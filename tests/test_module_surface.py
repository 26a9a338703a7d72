import subprocess
import sys

import pytest

import lorvane

FUNCTIONS = [
    ("compute_emi", "request"),
    ("compute_emi_json", "request_json"),
    ("categorize_transactions", "request"),
    ("categorize_transactions_json", "request_json"),
    ("derive_rules", "request"),
    ("derive_rules_json", "request_json"),
]


def test_module_attributes():
    assert lorvane.__version__ == "0.1.1"
    assert lorvane.__all__ == ["__version__"] + [name for name, _ in FUNCTIONS]
    assert lorvane.__doc__ == ""


@pytest.mark.parametrize("name, parameter", FUNCTIONS)
def test_function_shape(name, parameter):
    function = getattr(lorvane, name)
    assert function.__text_signature__ == f"({parameter})"
    assert function.__doc__ is None
    assert function.__name__ == name
    assert function.__module__ == "lorvane"
    assert function.__self__ is lorvane


@pytest.mark.parametrize("name, parameter", FUNCTIONS)
@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "{f}() missing 1 required positional argument: '{p}'"),
        (({}, {}), {}, "{f}() takes 1 positional arguments but 2 were given"),
        (({}, {}, {}), {}, "{f}() takes 1 positional arguments but 3 were given"),
        (({},), {"@p": {}}, "{f}() got multiple values for argument '{p}'"),
        ((), {"req": {}}, "{f}() got an unexpected keyword argument 'req'"),
        (({},), {"other": 1}, "{f}() got an unexpected keyword argument 'other'"),
    ],
)
def test_argument_errors(name, parameter, args, kwargs, message):
    kwargs = {(parameter if k == "@p" else k): v for k, v in kwargs.items()}
    with pytest.raises(TypeError) as caught:
        getattr(lorvane, name)(*args, **kwargs)
    assert str(caught.value) == message.format(f=name, p=parameter)


@pytest.mark.parametrize("name", [n for n, p in FUNCTIONS if p == "request_json"])
@pytest.mark.parametrize(
    "value, type_name",
    [(b"{}", "bytes"), (None, "NoneType"), (5, "int"), ({}, "dict"), (bytearray(), "bytearray")],
)
def test_request_json_must_be_str(name, value, type_name):
    with pytest.raises(TypeError) as caught:
        getattr(lorvane, name)(value)
    assert str(caught.value) == (
        f"argument 'request_json': '{type_name}' object cannot be converted to 'PyString'"
    )


def test_request_json_type_error_names_local_class():
    class Local:
        pass

    with pytest.raises(TypeError, match=r"'test_request_json_type_error_names_local_class\.<locals>\.Local' object"):
        lorvane.compute_emi_json(Local())


def test_keyword_form_is_the_same_call():
    request = {"mode": "emi", "loanAmount": 1000, "months": 1, "interestRate": 12}
    assert lorvane.compute_emi(request=request) == lorvane.compute_emi(request)


def test_surrogate_in_json_text_raises_the_interpreters_unicode_error():
    with pytest.raises(UnicodeEncodeError) as caught:
        lorvane.compute_emi_json('{"mode":"\ud800"}')
    assert isinstance(caught.value, ValueError)
    assert not str(caught.value).startswith("invalid request")


def test_str_subclass_is_accepted_as_json_text():
    class Text(str):
        pass

    result = lorvane.compute_emi_json(Text('{"mode":"emi","loanAmount":1000,"months":1,"interestRate":12}'))
    assert type(result) is str and result.startswith('{"mode":"emi"')


def test_results_are_new_objects():
    request = {"mode": "emi", "loanAmount": 1000, "months": 2, "interestRate": 12}
    first, second = lorvane.compute_emi(request), lorvane.compute_emi(request)
    assert first == second and first is not second
    assert first["schedule"] is not second["schedule"]


@pytest.mark.parametrize(
    "request_, message",
    [
        ({"mode": "emi", "loanAmount": 1000, "months": 601, "interestRate": 1},
         "tenure of 601 months exceeds the maximum supported 600 months"),
        ({"mode": "tenure", "loanAmount": 85000, "emi": 500, "interestRate": 10},
         "monthly payment of 500.00 does not cover the first month's interest of 708.33; "
         "the loan would never be repaid"),
    ],
)
def test_engine_errors_have_no_prefix(request_, message):
    with pytest.raises(ValueError) as caught:
        lorvane.compute_emi(request_)
    assert str(caught.value) == message


def test_second_initialisation_raises_import_error():
    code = (
        "import sys, lorvane\n"
        "first = lorvane\n"
        "del sys.modules['lorvane']\n"
        "try:\n"
        "    import lorvane\n"
        "except ImportError as error:\n"
        "    print('ImportError', 'once' in str(error))\n"
        "print(first.compute_emi({'mode': 'emi', 'loanAmount': 1000, 'months': 1, 'interestRate': 12})['emi'])\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.split() == ["ImportError", "True", "1010"]


SUB_INTERPRETER = """
import sys
try:
    import _interpreters as interpreters
except ImportError:
    import _xxsubinterpreters as interpreters

def in_sub_interpreter():
    interpreter = interpreters.create()
    interpreters.run_string(interpreter, '''
try:
    import lorvane
except ImportError as error:
    print("sub-interpreter: ImportError", "sub-interpreter" in str(error) or "subinterpreter" in str(error))
else:
    print("sub-interpreter: imported")
''')
    sys.stdout.flush()

def in_main():
    import lorvane
    print("main:", lorvane.compute_emi({"mode": "emi", "loanAmount": 1000, "months": 1, "interestRate": 12})["emi"])
    sys.stdout.flush()

for step in sys.argv[1:]:
    (in_main if step == "main" else in_sub_interpreter)()
"""


@pytest.mark.parametrize("order", [["sub", "main", "sub"], ["main", "sub", "main"]])
def test_a_sub_interpreter_is_refused_and_the_main_interpreter_still_imports(order):
    try:
        import _interpreters  # noqa: F401
    except ImportError:
        pytest.importorskip("_xxsubinterpreters")
    done = subprocess.run([sys.executable, "-c", SUB_INTERPRETER, *order], capture_output=True,
                          text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    expected = {"sub": "sub-interpreter: ImportError True", "main": "main: 1010"}
    assert done.stdout.splitlines() == [expected[step] for step in order]
