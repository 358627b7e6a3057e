"""The module initializer wires the native functions into nkpi._sys."""
from typing import final

from nkpi.api import InstanceCreateInfo, ModuleCompileInfo

@final
class Instance:
    """Opaque handle to a running Nimbrask instance exposed to Python callers."""

@final
class Module:
    """Opaque handle to a nimbrask module"""

def _nk_create_instance(instance_create_info: InstanceCreateInfo) -> Instance:
    """Creates a new Nimbrask instance from the validated Python dataclasses."""

def _nk_compile_module(instance: Instance, compile_info: ModuleCompileInfo) -> bytes:
    """Compiles a list of source modules into a compiled module."""

def _nk_load_module(instance: Instance, module_data: bytes) -> Module:
    """Loads a compiled module into the given instance."""

def factorial(n: int) -> int:
    """Computes the factorial of a number."""

def fibonacci(n: int) -> int:
    """Computes the fibonacci of a number."""

def _nk_disassemble_module(module_data: bytes) -> str:
    """Prints the module of a compiled module container as assembly text."""
