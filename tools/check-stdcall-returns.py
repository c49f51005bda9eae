#!/usr/bin/env python3
"""Checks that every stdcall export of i686 DLLs pops what its decoration promises.

A stdcall function named `name@N` must return with `ret $N` (plain `ret` when N is 0): the
caller pushed N bytes of arguments and relies on the callee to remove them. A function built
with the wrong calling convention behind a decorated name (a .def entry, a missing
__stdcall) corrupts the caller's stack, and on i686 nothing else shows it here: 32-bit
programs cannot run on this machine, so this is read from the disassembly instead.

For each export the code reachable from its entry is walked: straight on through calls and
conditional jumps (both sides), along direct jumps wherever they lead (a shared epilogue, a
cold block, a tail call into another function), and when a jump goes through a table (a
switch) the whole function body between its label and the next one is taken as reachable.
Every `ret` met on the way must pop N bytes. A path that leaves through an indirect jump to
another module (a tail call through the import table) is reported, since its pop count
cannot be seen here; an export with no return at all is reported too. When the DLL has its
symbol table, every instruction between the export's label and the next label is a starting
point as well, so that code only the unwinder enters (exception landing pads) is covered.

    tools/check-stdcall-returns.py [--objdump PROGRAM] DLL...

Exit status 0 when every export passes, 1 otherwise; one line per problem.
"""
import argparse
import bisect
import re
import subprocess
import sys

DECORATED = re.compile(r"^_?([A-Za-z_][A-Za-z0-9_$?]*)@(\d+)$")
INSN = re.compile(r"^\s*([0-9a-f]+):\t(?:[0-9a-f]{2} )+\s*\t(\S+)\s*(.*)$")
LABEL = re.compile(r"^([0-9a-f]+) <(.+)>:$")
TARGET = re.compile(r"^(?:0x)?([0-9a-f]+)(?: <.*>)?$")
STOPS = {"ud2", "int3", "hlt"}
MAX_STEPS = 200000  # instructions walked per export; a bound against a runaway listing


def run(objdump, *args):
    return subprocess.run([objdump, *args], check=True, capture_output=True, text=True).stdout


def exports(objdump, dll):
    """(name, absolute address) of every named export that is not a forwarder."""
    text = run(objdump, "-p", dll)
    base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", text, re.M).group(1), 16)
    rvas, names, section = {}, {}, None
    for line in text.splitlines():
        if line.startswith("Export Address Table --"):
            section = "eat"
            continue
        if line.startswith("[Ordinal/Name Pointer] Table"):
            section = "names"
            continue
        if not line.strip():
            section = None
            continue
        m = re.match(r"^\t\[\s*(\d+)\] \+base\[\s*\d+\] ([0-9a-f]+) Export RVA", line)
        if section == "eat" and m:
            rvas[int(m.group(1))] = int(m.group(2), 16)
            continue
        m = re.match(r"^\t\[\s*(\d+)\] (\S+)$", line)
        if section == "names" and m:
            names[m.group(2)] = int(m.group(1))
    return [(n, base + rvas[i]) for n, i in sorted(names.items()) if i in rvas]


def parse_listing(text):
    """Instructions by address (mnemonic, operands) in order, and the label starts."""
    insns, order, labels = {}, [], []
    for line in text.splitlines():
        m = LABEL.match(line)
        if m:
            if not m.group(2).startswith("."):  # "<.text>" of a DLL without symbols
                labels.append(int(m.group(1), 16))
            continue
        m = INSN.match(line)
        if m:
            addr = int(m.group(1), 16)
            insns[addr] = (m.group(2), m.group(3).split("#")[0].strip())
            order.append(addr)
    return insns, order, sorted(set(labels))


def pops(operands):
    """Bytes a ret pops: `ret $0x8` -> 8, `ret` -> 0."""
    m = re.match(r"^\$0x([0-9a-f]+)$", operands)
    return int(m.group(1), 16) if m else 0


def check_export(name, want, entry, insns, order, labels):
    problems, rets = [], []
    index = {a: i for i, a in enumerate(order)}

    def body(addr):  # the addresses from the label at or before addr to the next label
        k = bisect.bisect_right(labels, addr)
        start = labels[k - 1] if k else order[0]
        end = labels[k] if k < len(labels) else order[-1] + 1
        return [a for a in order[index.get(start, 0):] if a < end] if start in index else []

    def label_end(addr):
        k = bisect.bisect_right(labels, addr)
        return labels[k] if k < len(labels) else None

    if entry not in insns:
        return [f"{name}: entry {entry:#x} is not an instruction in the listing"]
    # With a symbol table the export's own body (its label to the next) is walked whole too,
    # so that code entered only by the unwinder (exception landing pads) is not missed.
    work, seen, steps = [entry], set(), 0
    if entry in labels:
        work.extend(body(entry))
    while work:
        addr = work.pop()
        end = label_end(addr)
        while addr is not None and addr not in seen:
            steps += 1
            if steps > MAX_STEPS:
                return problems + [f"{name}: more than {MAX_STEPS} instructions, gave up"]
            seen.add(addr)
            if addr not in insns:
                problems.append(f"{name}: control reaches {addr:#x}, which is not code")
                break
            mnem, ops = insns[addr]
            mnem = mnem.split(".")[0]  # "ret" of "ret", "jmp" of "jmp.s"
            if mnem in ("ret", "retl", "retw"):
                rets.append((addr, pops(ops)))
                break
            if mnem in STOPS:
                break
            if mnem.startswith("j"):
                t = TARGET.match(ops)
                if t:
                    work.append(int(t.group(1), 16))
                    if mnem in ("jmp", "jmpl"):
                        break
                elif mnem in ("jmp", "jmpl"):
                    if "%" in ops and labels:  # a table or a register: the whole body may run
                        work.extend(body(addr))
                    elif "%" in ops:
                        problems.append(f"{name}: jumps through a table at {addr:#x} in a DLL "
                                        "without symbols; its targets cannot be found")
                    else:
                        problems.append(f"{name}: leaves through an indirect jump at {addr:#x} "
                                        f"({mnem} {ops}); its pop count cannot be checked")
                    break
            nxt = index.get(addr, -1) + 1
            addr = order[nxt] if 0 < nxt < len(order) else None
            if addr is not None and end is not None and addr >= end:
                break  # the next function: falling into it is not a path of this one
    if not rets and not problems:
        problems.append(f"{name}: no return instruction reached from {entry:#x}")
    for at, n in sorted(set(rets)):
        if n != want:
            problems.append(f"{name}: returns with {'ret $' + hex(n) if n else 'ret'} at {at:#x}, "
                            f"the decoration says @{want}")
    return problems


def check_dll(objdump, dll):
    listing = run(objdump, "-d", dll)
    insns, order, labels = parse_listing(listing)
    problems, checked = [], 0
    for name, addr in exports(objdump, dll):
        m = DECORATED.match(name)
        if not m or name.startswith("@"):
            continue  # cdecl (plain names) and fastcall (@name@N) have other rules
        checked += 1
        problems += [f"{dll}: {p}" for p in check_export(name, int(m.group(2)), addr, insns,
                                                         order, labels)]
    return checked, problems


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--objdump", default="i686-w64-mingw32-objdump")
    ap.add_argument("dlls", nargs="+")
    args = ap.parse_args()
    failed = False
    for dll in args.dlls:
        try:
            checked, problems = check_dll(args.objdump, dll)
        except (OSError, subprocess.CalledProcessError, AttributeError) as e:
            print(f"{dll}: cannot read: {e}")
            failed = True
            continue
        for p in problems:
            print(p)
        failed |= bool(problems)
        print(f"{dll}: {checked} stdcall exports, {'FAILED' if problems else 'all pop what they declare'}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
