"""Runs one timed step in its own process and prints a JSON line.

Steps: nk-compile, nk-load (our toolchain through nkpi._sys), lite-compile
(llvmlite parse_assembly + verify + as_bitcode), lite-load (parse_bitcode +
verify). The timing covers the step itself, not interpreter start-up.
"""
import json
import resource
import sys
import time


def nk_instance(sys_mod):
    from nkpi.api import ApplicationInfo, InstanceCreateInfo, VersionInfo

    app = ApplicationInfo(VersionInfo(0, 1, 0), "bench", VersionInfo(0, 1, 2), "nimbrask")
    return sys_mod._nk_create_instance(InstanceCreateInfo(app, [], 0, []))


def nk_compile(src, out):
    from nkpi import _sys
    from nkpi.api import ModuleCompileInfo, ModuleSourceInfo, ModuleSourceType

    text = open(src).read()
    inst = nk_instance(_sys)
    info = ModuleCompileInfo([ModuleSourceInfo(ModuleSourceType.ASSEMBLY, src, text)])
    t0 = time.perf_counter()
    data = _sys._nk_compile_module(inst, info)
    dt = time.perf_counter() - t0
    open(out, "wb").write(data)
    return dt, len(data)


def nk_load(src, _out):
    from nkpi import _sys

    data = open(src, "rb").read()
    inst = nk_instance(_sys)
    t0 = time.perf_counter()
    _sys._nk_load_module(inst, data)
    return time.perf_counter() - t0, 0


def lite_compile(src, out):
    import llvmlite.binding as llvm

    text = open(src).read()
    t0 = time.perf_counter()
    mod = llvm.parse_assembly(text)
    mod.verify()
    bc = mod.as_bitcode()
    dt = time.perf_counter() - t0
    open(out, "wb").write(bc)
    return dt, len(bc)


def lite_load(src, _out):
    import llvmlite.binding as llvm

    bc = open(src, "rb").read()
    t0 = time.perf_counter()
    mod = llvm.parse_bitcode(bc)
    mod.verify()
    return time.perf_counter() - t0, 0


STEPS = {"nk-compile": nk_compile, "nk-load": nk_load, "lite-compile": lite_compile, "lite-load": lite_load}

if __name__ == "__main__":
    step, src, out = sys.argv[1], sys.argv[2], sys.argv[3]
    seconds, size = STEPS[step](src, out)
    rss_kb = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print(json.dumps({"seconds": seconds, "bytes": size, "maxrss_kb": rss_kb}))
