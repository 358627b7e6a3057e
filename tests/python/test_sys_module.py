"""The native module's surface: its members, documentation, classes and the
two arithmetic functions."""
import math

import pytest

from nkpi import _sys

F92 = 7540113804746346429


def test_members_are_added_in_order():
    names = [n for n in vars(_sys) if not n.startswith("__")]
    assert names == [
        "Instance",
        "Module",
        "_nk_create_instance",
        "_nk_compile_module",
        "_nk_load_module",
        "factorial",
        "fibonacci",
        "_nk_disassemble_module",
    ]
    assert _sys.__doc__ == "The module initializer wires the native functions into nkpi._sys."


@pytest.mark.parametrize(
    "function, signature, doc",
    [
        (_sys._nk_create_instance, "(instance_create_info)",
         "Creates a new Nimbrask instance from the validated Python dataclasses."),
        (_sys._nk_compile_module, "(instance, compile_info)",
         "Compiles a list of source modules into a compiled module."),
        (_sys._nk_load_module, "(instance, module_data)", "Loads a compiled module into the given instance."),
        (_sys.factorial, "(n)", "Computes the factorial of a number."),
        (_sys.fibonacci, "(n)", "Computes the fibonacci of a number."),
    ],
)
def test_signatures_and_docstrings(function, signature, doc):
    assert function.__text_signature__ == signature
    assert function.__doc__ == doc


@pytest.mark.parametrize(
    "cls, doc",
    [
        (_sys.Instance, "Opaque handle to a running Nimbrask instance exposed to Python callers."),
        (_sys.Module, "Opaque handle to a nimbrask module"),
    ],
)
def test_classes_are_opaque(cls, doc):
    assert cls.__doc__ == doc
    assert cls.__bases__ == (object,)
    with pytest.raises(TypeError):
        cls()
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


@pytest.mark.parametrize("n", [0, 1, 2, 5, 10, 20])
def test_factorial_values(n):
    assert _sys.factorial(n) == math.factorial(n)


@pytest.mark.parametrize("n, expected", [(0, 0), (1, 1), (2, 1), (3, 2), (10, 55), (50, 12586269025), (92, F92)])
def test_fibonacci_values(n, expected):
    assert _sys.fibonacci(n) == expected


@pytest.mark.parametrize(
    "function, n",
    [(_sys.factorial, 21), (_sys.factorial, 1000), (_sys.fibonacci, 93), (_sys.fibonacci, 94), (_sys.fibonacci, 10**6)],
)
def test_results_beyond_64_bits_overflow(function, n):
    with pytest.raises(OverflowError) as info:
        function(n)
    assert str(info.value) == "integer overflow"
    assert info.value.__cause__ is None


class Seven:
    def __index__(self):
        return 7


@pytest.mark.parametrize("function", [_sys.factorial, _sys.fibonacci])
def test_arguments(function):
    # Keyword, index protocol and bool (an int) are accepted.
    assert function(n=7) == function(Seven()) == function(7)
    assert function(True) == 1
    # Negative and too large integers: the interpreter's own OverflowError.
    for bad in (-1, 2**64, -(2**70)):
        with pytest.raises(OverflowError) as info:
            function(bad)
        assert str(info.value) != "integer overflow"
    # Non-integers: TypeError naming the argument.
    for bad in (2.5, "3", None, [1]):
        with pytest.raises(TypeError, match=r"^argument 'n': "):
            function(bad)
    # The interpreter's usual argument errors.
    with pytest.raises(TypeError):
        function()
    with pytest.raises(TypeError):
        function(1, 2)
    with pytest.raises(TypeError):
        function(m=1)
