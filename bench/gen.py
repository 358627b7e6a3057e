"""Deterministic workload generator: the same program as our assembly text and as LLVM IR.

Each function is a counted loop whose body mixes integer and floating-point
arithmetic, compares and selects, casts, memory operations (alloca, load, store,
getelementptr over arrays and structs), aggregates (insertvalue/extractvalue)
and calls, with phis carrying the loop state. Both outputs describe the same
instructions one for one, so per-instruction rates compare directly.
"""
from __future__ import annotations

import argparse
import random
from dataclasses import dataclass, field


@dataclass
class Program:
    nk: list[str] = field(default_factory=list)
    ll: list[str] = field(default_factory=list)
    instructions: int = 0  # instructions and terminators, counted the same way for both

    def both(self, nk: str, ll: str) -> None:
        self.nk.append(nk)
        self.ll.append(ll)
        self.instructions += 1


HELPER_NK = """define i64 helper(%v: i64) {
entry:
  %r: i64 = imul.wrap %v, i64 3
  ret %r
}
"""
HELPER_LL = """define i64 @helper(i64 %v) {
entry:
  %r = mul i64 %v, 3
  ret i64 %r
}
"""


class Body:
    """Emits one loop body; keeps the latest integer, float and pointer values."""

    def __init__(self, prog: Program, rng: random.Random):
        self.p, self.rng, self.n = prog, rng, 0
        self.int, self.flt = "%acc", "%facc"

    def fresh(self, prefix: str) -> str:
        self.n += 1
        return f"%{prefix}{self.n}"

    def step(self) -> None:
        kind = self.rng.randrange(10)
        getattr(self, f"k{kind}")()

    def k0(self):  # integer arithmetic
        op_nk, op_ll = self.rng.choice([("iadd.wrap", "add"), ("isub.wrap", "sub"), ("imul.wrap", "mul")])
        d = self.fresh("t")
        self.p.both(f"  {d}: i64 = {op_nk} {self.int}, %i", f"  {d} = {op_ll} i64 {self.int}, %i")
        self.int = d

    def k1(self):  # bitwise
        op = self.rng.choice(["and", "or", "xor"])
        d = self.fresh("t")
        self.p.both(f"  {d}: i64 = {op} {self.int}, i64 {self.rng.randrange(1, 1 << 20)}",
                    f"  {d} = {op} i64 {self.int}, {self.rng.randrange(1, 1 << 20)}")
        self.int = d

    def k2(self):  # floating point
        op = self.rng.choice(["fadd", "fsub", "fmul"])
        d = self.fresh("f")
        self.p.both(f"  {d}: fp64 = {op} {self.flt}, %x", f"  {d} = {op} double {self.flt}, %x")
        self.flt = d

    def k3(self):  # casts both ways
        d = self.fresh("f")
        self.p.both(f"  {d}: fp64 = cast.sitofp {self.int}", f"  {d} = sitofp i64 {self.int} to double")
        e = self.fresh("t")
        self.p.both(f"  {e}: i64 = cast.fptosi {d}", f"  {e} = fptosi double {d} to i64")
        self.int = e

    def k4(self):  # compare and select
        c = self.fresh("c")
        self.p.both(f"  {c}: i1 = icmp.slt {self.int}, %n", f"  {c} = icmp slt i64 {self.int}, %n")
        d = self.fresh("t")
        self.p.both(f"  {d}: i64 = select {c}, {self.int}, %i", f"  {d} = select i1 {c}, i64 {self.int}, i64 %i")
        self.int = d

    def k5(self):  # array element: getelementptr, load, store
        idx = self.fresh("t")
        self.p.both(f"  {idx}: i64 = and {self.int}, i64 15", f"  {idx} = and i64 {self.int}, 15")
        q = self.fresh("q")
        self.p.both(f"  {q}: ptr = getelementptr [16 x i64], %arr, i64 0, {idx}",
                    f"  {q} = getelementptr [16 x i64], ptr %arr, i64 0, i64 {idx}")
        v = self.fresh("t")
        self.p.both(f"  {v}: i64 = load {q}, align 8", f"  {v} = load i64, ptr {q}, align 8")
        self.p.both(f"  store {q}, {self.int}, align 8", f"  store i64 {self.int}, ptr {q}, align 8")
        self.int = v

    def k6(self):  # struct field through getelementptr
        q = self.fresh("q")
        self.p.both(f"  {q}: ptr = getelementptr {{i64, fp64}}, %p, i64 0, i32 1",
                    f"  {q} = getelementptr {{i64, double}}, ptr %p, i64 0, i32 1")
        self.p.both(f"  store {q}, {self.flt}, align 8", f"  store double {self.flt}, ptr {q}, align 8")

    def k7(self):  # aggregates
        s = self.fresh("s")
        self.p.both(f"  {s}: {{i64, fp64}} = insertvalue {{i64, fp64}} undef, {self.int}, i32 0",
                    f"  {s} = insertvalue {{i64, double}} undef, i64 {self.int}, 0")
        s2 = self.fresh("s")
        self.p.both(f"  {s2}: {{i64, fp64}} = insertvalue {s}, {self.flt}, i32 1",
                    f"  {s2} = insertvalue {{i64, double}} {s}, double {self.flt}, 1")
        d = self.fresh("t")
        self.p.both(f"  {d}: i64 = extractvalue {s2}, i32 0", f"  {d} = extractvalue {{i64, double}} {s2}, 0")
        self.int = d

    def k8(self):  # call
        d = self.fresh("t")
        self.p.both(f"  {d}: i64 = invoke ptr helper, {self.int}", f"  {d} = call i64 @helper(i64 {self.int})")
        self.int = d

    def k9(self):  # shift and division
        d = self.fresh("t")
        self.p.both(f"  {d}: i64 = isht.lsr {self.int}, i64 3", f"  {d} = lshr i64 {self.int}, 3")
        e = self.fresh("t")
        self.p.both(f"  {e}: i64 = idiv.unsigned {d}, i64 7", f"  {e} = udiv i64 {d}, 7")
        self.int = e


def emit_function(prog: Program, rng: random.Random, index: int, body_size: int) -> None:
    p = prog
    p.nk.append(f"define i64 f{index}(%n: i64, %p: ptr, %x: fp64) {{")
    p.ll.append(f"define i64 @f{index}(i64 %n, ptr %p, double %x) {{")
    p.nk.append("entry:")
    p.ll.append("entry:")
    p.both("  %arr: ptr = alloca i64 16", "  %arr = alloca [16 x i64], align 8")
    p.both("  jump loop", "  br label %loop")
    p.nk.append("loop:")
    p.ll.append("loop:")
    p.both("  %i: i64 = phi [i64 0, entry], [%inext, loop]", "  %i = phi i64 [ 0, %entry ], [ %inext, %loop ]")
    p.both("  %acc: i64 = phi [i64 0, entry], [%accn, loop]", "  %acc = phi i64 [ 0, %entry ], [ %accn, %loop ]")
    p.both("  %facc: fp64 = phi [fp64 0.0, entry], [%faccn, loop]",
           "  %facc = phi double [ 0.0, %entry ], [ %faccn, %loop ]")
    body = Body(p, rng)
    while body.n < body_size:
        body.step()
    p.both(f"  %accn: i64 = iadd.wrap {body.int}, i64 1", f"  %accn = add i64 {body.int}, 1")
    p.both(f"  %faccn: fp64 = fadd {body.flt}, fp64 1.0", f"  %faccn = fadd double {body.flt}, 1.0")
    p.both("  %inext: i64 = iadd.wrap %i, i64 1", "  %inext = add i64 %i, 1")
    p.both("  %cont: i1 = icmp.slt %inext, %n", "  %cont = icmp slt i64 %inext, %n")
    p.both("  branch %cont, loop, exit", "  br i1 %cont, label %loop, label %exit")
    p.nk.append("exit:")
    p.ll.append("exit:")
    p.both("  ret %accn", "  ret i64 %accn")
    p.nk.append("}")
    p.ll.append("}")


def generate(instructions: int, seed: int = 1, body_size: int = 400) -> Program:
    rng = random.Random(seed)
    prog = Program()
    prog.nk.append(HELPER_NK)
    prog.ll.append(HELPER_LL)
    prog.instructions += 2
    index = 0
    while prog.instructions < instructions:
        emit_function(prog, rng, index, body_size)
        index += 1
    return prog


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("instructions", type=int)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--nk", required=True, help="output path of the assembly text")
    ap.add_argument("--ll", required=True, help="output path of the LLVM IR")
    args = ap.parse_args()
    prog = generate(args.instructions, args.seed)
    with open(args.nk, "w") as f:
        f.write("\n".join(prog.nk) + "\n")
    with open(args.ll, "w") as f:
        f.write("\n".join(prog.ll) + "\n")
    print(prog.instructions)


if __name__ == "__main__":
    main()
