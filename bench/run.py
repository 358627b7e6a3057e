"""Times our compile and load against LLVM's tools and llvmlite, interleaved, in one run.

For each size the generator writes the same program as our assembly and as
LLVM IR. Every measurement runs in a fresh process (so peak memory is that
step's alone) and the tools take turns within each repetition, so machine
drift hits all of them alike. Reports medians, instructions per second, the
ratios the toolchain is held to, peak memory and output sizes.

    python3 bench/run.py --sizes 10000 100000 1000000 --reps 3
"""
from __future__ import annotations

import argparse
import json
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from gen import generate  # noqa: E402


def run_process(argv: list[str]) -> tuple[float, int, bytes]:
    """Wall time and peak RSS (KiB) of one child process."""
    t0 = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    dt = time.perf_counter() - t0
    out, err = proc.stdout.read(), proc.stderr.read()
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        raise RuntimeError(f"{argv[0]} failed: {err.decode()[:2000]}")
    return dt, usage.ru_maxrss, out


def worker(step: str, src: Path, out: Path) -> dict:
    _, rss, stdout = run_process([sys.executable, str(HERE / "worker.py"), step, str(src), str(out)])
    return json.loads(stdout)


def measure(size: int, reps: int, workdir: Path) -> dict:
    prog = generate(size)
    nk, ll = workdir / f"w{size}.nkir", workdir / f"w{size}.ll"
    nk.write_text("\n".join(prog.nk) + "\n")
    ll.write_text("\n".join(prog.ll) + "\n")
    container, bc_as, bc_lite = workdir / f"w{size}.nkmod", workdir / f"w{size}.bc", workdir / f"w{size}.lite.bc"
    times: dict[str, list[float]] = {}
    rss: dict[str, list[int]] = {}

    def record(name: str, seconds: float, kb: int) -> None:
        times.setdefault(name, []).append(seconds)
        rss.setdefault(name, []).append(kb)

    for _ in range(reps):
        r = worker("nk-compile", nk, container)
        record("nk compile", r["seconds"], r["maxrss_kb"])
        dt, kb, _ = run_process(["llvm-as", "-opaque-pointers", str(ll), "-o", str(bc_as)])
        record("llvm-as", dt, kb)
        r = worker("lite-compile", ll, bc_lite)
        record("llvmlite parse+verify+bitcode", r["seconds"], r["maxrss_kb"])
        r = worker("nk-load", container, container)
        record("nk load", r["seconds"], r["maxrss_kb"])
        dt, kb, _ = run_process(["opt", "-opaque-pointers", "-verify", "-disable-output", str(bc_as)])
        record("opt verify (bitcode)", dt, kb)
        r = worker("lite-load", bc_lite, bc_lite)
        record("llvmlite parse_bitcode+verify", r["seconds"], r["maxrss_kb"])
    return {
        "instructions": prog.instructions,
        "median": {k: statistics.median(v) for k, v in times.items()},
        "rss_mb": {k: max(v) / 1024 for k, v in rss.items()},
        "sizes": {"container": container.stat().st_size, "bitcode (llvm-as)": bc_as.stat().st_size,
                  "source .nkir": nk.stat().st_size, "source .ll": ll.stat().st_size},
    }


def report(results: dict[int, dict]) -> None:
    for size, r in results.items():
        n = r["instructions"]
        print(f"\n== {n} instructions ==")
        print(f"{'step':34} {'median s':>10} {'instr/s':>14} {'peak MB':>9}")
        for name, t in r["median"].items():
            print(f"{name:34} {t:10.4f} {n / t:14,.0f} {r['rss_mb'][name]:9.1f}")
        m = r["median"]
        print("ratios (higher = ours faster):")
        print(f"  compile vs llvmlite parse+verify+bitcode: {m['llvmlite parse+verify+bitcode'] / m['nk compile']:.2f}x")
        print(f"  compile vs llvm-as:                       {m['llvm-as'] / m['nk compile']:.2f}x")
        print(f"  load vs llvmlite parse_bitcode+verify:    {m['llvmlite parse_bitcode+verify'] / m['nk load']:.2f}x")
        print(f"  load vs opt verify:                       {m['opt verify (bitcode)'] / m['nk load']:.2f}x")
        print("output sizes (bytes): " + ", ".join(f"{k} {v:,}" for k, v in r["sizes"].items()))
    sizes = sorted(results)
    for small, big in zip(sizes, sizes[1:]):
        factor = results[big]["instructions"] / results[small]["instructions"]
        for step in ("nk compile", "nk load"):
            growth = results[big]["median"][step] / results[small]["median"][step]
            print(f"scaling {step}: x{growth:.2f} time for x{factor:.1f} instructions")


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--sizes", type=int, nargs="+", default=[10_000, 100_000, 1_000_000])
    ap.add_argument("--reps", type=int, default=3)
    ap.add_argument("--workdir", type=Path, default=HERE / "out")
    args = ap.parse_args()
    args.workdir.mkdir(parents=True, exist_ok=True)
    results = {size: measure(size, args.reps, args.workdir) for size in args.sizes}
    report(results)


if __name__ == "__main__":
    main()
