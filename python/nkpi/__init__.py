"""nkpi: the Python face of the Nimbrask IR toolchain.

``nkpi._sys`` is the native module; ``nkpi.api`` holds the records it reads;
``Engine`` (or ``create_instance``) wraps one engine instance::

    import nkpi
    engine = nkpi.create_instance(log_level="info", forward_logs=True)
    data = engine.compile_files(["fib.nkir"])
    module = engine.load(data)
"""
from . import _sys
from ._sys import Instance, Module, factorial, fibonacci
from .engine import (
    ENGINE_NAME,
    ENGINE_VERSION,
    Engine,
    compile_files,
    compile_string,
    create_instance,
    load,
    logging_callback,
    parse_log_level,
)

__version__ = "0.1.2"

__all__ = [
    "ENGINE_NAME",
    "ENGINE_VERSION",
    "Engine",
    "Instance",
    "Module",
    "compile_files",
    "compile_string",
    "create_instance",
    "factorial",
    "fibonacci",
    "load",
    "logging_callback",
    "parse_log_level",
]
