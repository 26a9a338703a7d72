"""What a user would run instead of each module function: plain Python, and the fastest
libraries on PyPI for each job. Every implementation keeps the module's contract and
the benchmark checks its results against the module's before timing it."""
