import os
import pathlib
import subprocess
import sys

import pytest

from nkpi.api import (
    ApplicationInfo,
    InstanceCreateInfo,
    ModuleCompileInfo,
    ModuleSourceInfo,
    ModuleSourceType,
    VersionInfo,
)
from nkpi.api.ext.nklog import LOGGER_EXTENSION_NAME, LogCreateInfoEXT, LogLevelEXT

ROOT = pathlib.Path(__file__).resolve().parents[2]

# A small module every engine accepts: two functions, a loop, a call.
VALID_SOURCE = """\
define i64 twice(%x: i64) {
entry:
  %y: i64 = iadd.wrap %x, %x
  ret %y
}

define i64 count(%n: i64) {
entry:
  jump loop
loop:
  %i: i64 = phi [i64 0, entry], [%j, loop_body]
  %c: i1 = icmp.ult %i, %n
  branch %c, loop_body, done
loop_body:
  %j: i64 = invoke ptr twice, %i
  jump loop
done:
  ret %i
}
"""


def app_info(name="tests", node_id=None):
    return ApplicationInfo(VersionInfo(1, 2, 3), name, VersionInfo(0, 1, 2), "nimbrask")


def create_info(extensions=(), ext=(), node_id=0):
    return InstanceCreateInfo(app_info(), list(extensions), node_id, list(ext))


def compile_info(*texts, filename="test.nkir"):
    return ModuleCompileInfo([ModuleSourceInfo(ModuleSourceType.ASSEMBLY, filename, text) for text in texts])


class Recorder:
    """A log callback written in Python that keeps every record."""

    def __init__(self):
        self.records = []

    def __call__(self, record):
        self.records.append(record)

    def messages(self):
        return [r["message"] for r in self.records]


@pytest.fixture
def recorder():
    return Recorder()


@pytest.fixture
def logged_instance(recorder):
    """An instance whose every record (Trace and up) reaches `recorder`."""
    from nkpi import _sys

    return _sys._nk_create_instance(
        create_info([LOGGER_EXTENSION_NAME], [LogCreateInfoEXT(LogLevelEXT.TRACE, recorder)])
    )


@pytest.fixture
def instance():
    from nkpi import _sys

    return _sys._nk_create_instance(create_info())


def run_python(code, timeout=60, cwd=None):
    """Runs `code` in a fresh interpreter; returns the completed process."""
    env = dict(os.environ)
    return subprocess.run(
        [sys.executable, "-c", code], capture_output=True, text=True, timeout=timeout, cwd=cwd or ROOT, env=env
    )
