"""Several Python threads using one instance whose log callback runs Python
code. Run in a child interpreter with a timeout, so that a deadlock between
the interpreter lock and the engine's locks fails the test instead of hanging
the suite."""
import subprocess
import sys
import pathlib

HERE = pathlib.Path(__file__).resolve().parent

CHILD = r"""
import re, sys, threading, time
from conftest import VALID_SOURCE, compile_info, create_info
from nkpi import _sys
from nkpi.api.ext.nklog import LOGGER_EXTENSION_NAME, LogCreateInfoEXT, LogLevelEXT

messages = []
def callback(record):
    # Plain Python: the interpreter may switch threads in here.
    messages.append(record["message"])
    time.sleep(0)

instance = _sys._nk_create_instance(
    create_info([LOGGER_EXTENSION_NAME], [LogCreateInfoEXT(LogLevelEXT.TRACE, callback)]))
data = _sys._nk_compile_module(instance, compile_info(VALID_SOURCE))
THREADS, LOADS = 4, 25
errors, modules = [], []
start = threading.Barrier(THREADS)

def worker():
    try:
        start.wait()
        for _ in range(LOADS):
            modules.append(_sys._nk_load_module(instance, data))
            _sys._nk_compile_module(instance, compile_info(VALID_SOURCE))
    except BaseException as error:
        errors.append(error)

threads = [threading.Thread(target=worker, name=f"loader-{i}") for i in range(THREADS)]
for t in threads: t.start()
for t in threads: t.join()
keys = [m.group(1) for m in (re.search(r"with key (ModuleKey\(\d+v\d+\))", x) for x in messages) if m]
assert not errors, errors
assert len(modules) == THREADS * LOADS, len(modules)
assert len(keys) == len(set(keys)) == THREADS * LOADS, keys
print("ok", len(keys))
"""


def test_four_threads_load_into_one_logged_instance():
    try:
        result = subprocess.run(
            [sys.executable, "-c", CHILD], cwd=HERE, capture_output=True, text=True, timeout=120
        )
    except subprocess.TimeoutExpired:
        raise AssertionError("threads loading into one instance deadlocked") from None
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "ok 100"
