#!/usr/bin/env python3
"""LL(1) table generator: reads a *.grammar source and writes the C++ tables and the grammar
routine that the parse engine asks for (prediction table, productions, action entries,
terminal spellings and the error-repair costs and insertion strings)."""

import argparse
import difflib
import os
import re
import sys

MAX_ARGS = 8          # the engine's action record holds at most this many arguments
NEVER = 127           # cost of what may never be inserted or deleted
END_SPELLING = "$$$"  # the end-of-input terminal
SECTIONS = ("%terminals", "%classes", "%actioncodes", "%actions", "%productions")


class GrammarError(Exception):
    """A fault in the grammar source, reported with its line number."""

    def __init__(self, line, message):
        super().__init__(message)
        self.line = line
        self.message = message


# ---------------------------------------------------------------------------------------------
# Reading the grammar source

class Grammar:
    """The grammar as read: terminals, action codes and entries, and the productions.

    Body symbols are tuples: ('t', code), ('n', k) for N<k>, ('a', entry)."""

    def __init__(self):
        self.terminals = []       # spellings; code = index + 1
        self.nclasses = 0
        self.actcodes = {}        # name -> code
        self.actions = []         # (name, args tuple); entry = index
        self.action_index = {}    # text as written ("@ADD(4)") -> entry
        self.prods = []           # (lhs k, [symbols])
        self.prod_lines = []      # source line of each production
        self.nnonterms = 0

    @property
    def nterms(self):
        return len(self.terminals)

    @property
    def firstnt(self):
        return self.nterms + 1

    def end_code(self):
        try:
            return self.terminals.index(END_SPELLING) + 1
        except ValueError:
            return 0

    def alternatives(self, k):
        return [p for p, (lhs, _) in enumerate(self.prods) if lhs == k]


def _strip_comment(line):
    """Drops a trailing '#' comment that stands outside double quotes."""
    inq = False
    for i, ch in enumerate(line):
        if ch == '"':
            inq = not inq
        elif ch == "#" and not inq and (i == 0 or line[i - 1].isspace()):
            return line[:i]
    return line


_ACTION_RE = re.compile(r"(@[A-Za-z_$][A-Za-z0-9_$]*)(?:\(\s*([^)]*?)\s*\))?$")
_BODY_TOKEN_RE = re.compile(
    r'\s*(?:(?P<nt>N\d+)\b|"(?P<t>[^"]*)"|(?P<act>@[A-Za-z_$][A-Za-z0-9_$]*(?:\([^)]*\))?)'
    r"|(?P<eps>ε|eps)\b|(?P<alt>\|)|(?P<num>\(\s*\d+\s*\)))")


def _parse_args(text, line):
    if text is None:
        return ()
    if text.strip() == "":
        raise GrammarError(line, "empty argument list; write the action without parentheses")
    args = []
    for part in text.split(","):
        part = part.strip()
        if not re.fullmatch(r"-?\d+", part):
            raise GrammarError(line, f"action argument '{part}' is not an integer")
        value = int(part)
        if not -32768 <= value <= 32767:
            raise GrammarError(line, f"action argument {value} does not fit in 16 bits")
        args.append(value)
    if len(args) > MAX_ARGS:
        raise GrammarError(line, f"{len(args)} action arguments; at most {MAX_ARGS} are allowed")
    return tuple(args)


def _action_text(name, args):
    return name if not args else f"{name}({','.join(str(a) for a in args)})"


def parse_grammar(text):
    """Reads a grammar source; raises GrammarError on the first fault."""
    g = Grammar()
    section = None
    pending = None            # the nonterminal whose alternatives a '|' line continues
    uses = {}                 # nonterminal -> first line that uses it
    defined = {}              # nonterminal -> line of its first production
    for lineno, raw in enumerate(text.splitlines(), 1):
        line = _strip_comment(raw).strip()
        if not line:
            continue
        if line.startswith("%"):
            word = line.split()[0]
            if word not in SECTIONS:
                raise GrammarError(lineno, f"unknown section '{word}'")
            section = word
            rest = line[len(word):].strip()
            if word == "%classes":
                if not re.fullmatch(r"\d+", rest):
                    raise GrammarError(lineno, "%classes needs the number of token classes")
                g.nclasses = int(rest)
            elif rest:
                raise GrammarError(lineno, f"unexpected text after {word}")
            continue
        if section is None:
            raise GrammarError(lineno, "text before the first section")
        if section == "%classes":
            raise GrammarError(lineno, "%classes takes its number on the same line")
        if section == "%terminals":
            m = re.fullmatch(r'(\d+)\s+"([^"]+)"', line)
            if not m:
                raise GrammarError(lineno, 'expected a terminal: code "spelling"')
            code, spelling = int(m.group(1)), m.group(2)
            if code != g.nterms + 1:
                raise GrammarError(lineno, f"terminal code {code} out of order; expected "
                                           f"{g.nterms + 1}")
            if spelling in g.terminals:
                raise GrammarError(lineno, f'terminal "{spelling}" is listed twice')
            g.terminals.append(spelling)
        elif section == "%actioncodes":
            m = re.fullmatch(r"(\d+)\s+(@[A-Za-z_$][A-Za-z0-9_$]*)", line)
            if not m:
                raise GrammarError(lineno, "expected an action code: code @NAME")
            code, name = int(m.group(1)), m.group(2)
            if code < 1 or code > 32767:
                raise GrammarError(lineno, f"action code {code} out of range")
            if name in g.actcodes:
                raise GrammarError(lineno, f"action name {name} is listed twice")
            if code in g.actcodes.values():
                raise GrammarError(lineno, f"action code {code} is listed twice")
            g.actcodes[name] = code
        elif section == "%actions":
            m = re.fullmatch(r"(\d+)\s+(\S.*)", line)
            if not m:
                raise GrammarError(lineno, "expected an action entry: number @NAME(args)")
            entry = int(m.group(1))
            if entry != len(g.actions):
                raise GrammarError(lineno, f"action entry {entry} out of order; expected "
                                           f"{len(g.actions)}")
            am = _ACTION_RE.fullmatch(m.group(2).replace(" ", ""))
            if not am:
                raise GrammarError(lineno, f"malformed action entry '{m.group(2)}'")
            name = am.group(1)
            if name not in g.actcodes:
                raise GrammarError(lineno, f"unknown action {name}; it is not in %actioncodes")
            args = _parse_args(am.group(2), lineno)
            key = _action_text(name, args)
            if key in g.action_index:
                raise GrammarError(lineno, f"action entry {key} is listed twice")
            g.action_index[key] = entry
            g.actions.append((name, args))
        else:
            pending = _parse_production_line(g, line, lineno, pending, uses, defined)

    if not g.terminals:
        raise GrammarError(0, "no %terminals")
    if g.nclasses > g.nterms:
        raise GrammarError(0, f"%classes {g.nclasses} exceeds the {g.nterms} terminals")
    if not g.prods:
        raise GrammarError(0, "no %productions")
    if g.prods[0][0] != 0:
        raise GrammarError(g.prod_lines[0], "production 0 must belong to the start symbol N0")
    g.nnonterms = max(max(defined), max(uses, default=0)) + 1
    for k in range(g.nnonterms):
        if k not in defined and k in uses:
            raise GrammarError(uses[k], f"nonterminal N{k} is undefined")
        if k not in defined:
            raise GrammarError(g.prod_lines[-1], f"nonterminal N{k} is undefined (nonterminals "
                                                 "are numbered without gaps)")
    if 0 in uses:
        raise GrammarError(uses[0], "the start symbol N0 may not occur in a body")
    reached, todo = {0}, [0]
    while todo:
        k = todo.pop()
        for lhs, body in g.prods:
            if lhs == k:
                for s in body:
                    if s[0] == "n" and s[1] not in reached:
                        reached.add(s[1])
                        todo.append(s[1])
    for k in range(g.nnonterms):
        if k not in reached:
            raise GrammarError(defined[k], f"nonterminal N{k} is unused (not reachable from N0)")
    if g.nterms + g.nnonterms > 32767 or len(g.prods) > 32767:
        raise GrammarError(0, "grammar too large for 16-bit symbol codes")
    return g


def _parse_production_line(g, line, lineno, pending, uses, defined):
    """Reads 'N<k> -> (p) body | (p) body ...' or a continuation line '| (p) body'."""
    m = re.match(r"N(\d+)\s*(?:→|->)", line)
    if m:
        lhs = int(m.group(1))
        rest = line[m.end():]
    elif line.startswith("|") and pending is not None:
        lhs = pending
        rest = line[1:]
    else:
        raise GrammarError(lineno, "expected a production line: N<k> → (p) body | (p) body")
    pos = 0
    body = None
    expect_number = True
    rest = rest.rstrip()
    while True:
        tm = _BODY_TOKEN_RE.match(rest, pos)
        if not tm or tm.end() == pos:
            if rest[pos:].strip() == "":
                break
            raise GrammarError(lineno, f"cannot read '{rest[pos:].strip()}'")
        pos = tm.end()
        if tm.group("alt"):
            if expect_number:
                raise GrammarError(lineno, "'|' where a production number was expected")
            _finish(g, lhs, body, lineno, defined)
            body = None
            expect_number = True
            continue
        if tm.group("num"):
            if not expect_number:
                raise GrammarError(lineno, "production number in the middle of a body; "
                                           "alternatives are separated by '|'")
            number = int(tm.group("num").strip("() \t"))
            if number != len(g.prods):
                raise GrammarError(lineno, f"production number {number} out of order; expected "
                                           f"{len(g.prods)}")
            body = []
            expect_number = False
            continue
        if expect_number:
            raise GrammarError(lineno, "every alternative starts with its number in parentheses")
        if tm.group("nt"):
            k = int(tm.group("nt")[1:])
            uses.setdefault(k, lineno)
            body.append(("n", k))
        elif tm.group("t") is not None:
            spelling = tm.group("t")
            if spelling not in g.terminals:
                raise GrammarError(lineno, f'unknown terminal "{spelling}"')
            body.append(("t", g.terminals.index(spelling) + 1))
        elif tm.group("act"):
            am = _ACTION_RE.fullmatch(tm.group("act").replace(" ", ""))
            name = am.group(1) if am else tm.group("act")
            key = _action_text(name, _parse_args(am.group(2), lineno)) if am else name
            if key not in g.action_index:
                raise GrammarError(lineno, f"unknown action {tm.group('act')}; no such entry in "
                                           "%actions")
            body.append(("a", g.action_index[key]))
        elif tm.group("eps"):
            body.append(("eps", 0))
    if expect_number:
        raise GrammarError(lineno, "production line ends without a body")
    _finish(g, lhs, body, lineno, defined)
    return lhs


def _finish(g, lhs, body, lineno, defined):
    if any(s[0] == "eps" for s in body):
        if len(body) != 1:
            raise GrammarError(lineno, "ε must stand alone as an empty body")
        body = []
    elif not body:
        raise GrammarError(lineno, "empty body; write ε")
    defined.setdefault(lhs, lineno)
    g.prods.append((lhs, body))
    g.prod_lines.append(lineno)


# ---------------------------------------------------------------------------------------------
# Grammar analysis

def grammar_symbols(body):
    """The body without its action symbols."""
    return [s for s in body if s[0] != "a"]


def compute_nullable(g):
    nullable = [False] * g.nnonterms
    changed = True
    while changed:
        changed = False
        for lhs, body in g.prods:
            if not nullable[lhs] and all(s[0] == "n" and nullable[s[1]]
                                         for s in grammar_symbols(body)):
                nullable[lhs] = changed = True
    return nullable


def first_of_sequence(seq, first, nullable):
    """FIRST of a symbol sequence and whether the whole sequence derives nothing."""
    out = set()
    for s in seq:
        if s[0] == "t":
            out.add(s[1])
            return out, False
        out |= first[s[1]]
        if not nullable[s[1]]:
            return out, False
    return out, True


def compute_first(g, nullable):
    first = [set() for _ in range(g.nnonterms)]
    changed = True
    while changed:
        changed = False
        for lhs, body in g.prods:
            f, _ = first_of_sequence(grammar_symbols(body), first, nullable)
            if not f <= first[lhs]:
                first[lhs] |= f
                changed = True
    return first


def compute_follow(g, first, nullable):
    follow = [set() for _ in range(g.nnonterms)]
    changed = True
    while changed:
        changed = False
        for lhs, body in g.prods:
            syms = grammar_symbols(body)
            for i, s in enumerate(syms):
                if s[0] != "n":
                    continue
                f, rest_nullable = first_of_sequence(syms[i + 1:], first, nullable)
                if rest_nullable:
                    f = f | follow[lhs]
                if not f <= follow[s[1]]:
                    follow[s[1]] |= f
                    changed = True
    return follow


def predict_table(g, first, follow, nullable):
    """The LL(1) table as one dict per nonterminal: terminal -> +/-(production + 1).

    Entries are positive when the terminal begins the body, negative when the body derives
    nothing and the terminal follows. On a conflict the lower-numbered production keeps the
    entry; the conflicts come back as (k, terminal, winner, loser)."""
    rows = [dict() for _ in range(g.nnonterms)]
    conflicts = []
    for p, (lhs, body) in enumerate(g.prods):
        f, body_nullable = first_of_sequence(grammar_symbols(body), first, nullable)
        entries = [(t, p + 1) for t in sorted(f)]
        if body_nullable:
            entries += [(t, -(p + 1)) for t in sorted(follow[lhs]) if t not in f]
        for t, v in entries:
            old = rows[lhs].get(t)
            if old is None:
                rows[lhs][t] = v
            elif abs(old) - 1 != p:
                conflicts.append((lhs, t, abs(old) - 1, p))
    return rows, conflicts


def pack_rows(rows):
    """Row-displacement packing, first fit, rows in nonterminal order.

    Returns (vector, bases) such that vector[bases[k] + t] == rows[k][t] for every entry;
    every non-zero slot belongs to exactly one row. Bases may be negative."""
    vector = []
    bases = []
    for row in rows:
        if not row:
            bases.append(0)
            continue
        cols = sorted(row)
        base = -cols[0]
        while any(base + t < len(vector) and vector[base + t] != 0 for t in cols):
            base += 1
        need = base + cols[-1] + 1
        if need > len(vector):
            vector.extend([0] * (need - len(vector)))
        for t in cols:
            vector[base + t] = row[t]
        bases.append(base)
    return vector, bases


def symbol_costs(g):
    """Insertion costs of terminals (by code) and nonterminals (by number); None = no string."""
    end = g.end_code()
    tcost = [0] + [NEVER if code == end else 1 for code in range(1, g.nterms + 1)]
    ncost = [None] * g.nnonterms
    changed = True
    while changed:
        changed = False
        for lhs, body in g.prods:
            c = body_cost(body, tcost, ncost)
            if c is not None and (ncost[lhs] is None or c < ncost[lhs]):
                ncost[lhs] = c
                changed = True
    return tcost, ncost


def body_cost(body, tcost, ncost):
    total = 0
    for s in grammar_symbols(body):
        c = tcost[s[1]] if s[0] == "t" else ncost[s[1]]
        if c is None:
            return None
        total += c
    return total


def cheapest_strings(g, tcost, ncost):
    """The cheapest terminal string of every nonterminal.

    Among productions of least cost the lowest-numbered wins; a production is taken only once
    the strings of its nonterminals are settled, so that equally cheap cycles cannot recur."""
    barren = [k for k in range(g.nnonterms) if ncost[k] is None]
    if barren:
        line = g.prod_lines[g.alternatives(barren[-1])[0]]
        names = ", ".join(f"N{k}" for k in barren)
        raise GrammarError(line, f"{names} derive{'s' if len(barren) == 1 else ''} no terminal "
                                 "string")
    optimal = {}
    for k in range(g.nnonterms):
        optimal[k] = [p for p in g.alternatives(k)
                      if body_cost(g.prods[p][1], tcost, ncost) == ncost[k]]
    strings = {}

    def ready(p):
        return all(s[1] in strings for s in grammar_symbols(g.prods[p][1]) if s[0] == "n")

    def settle(k, p):
        out = []
        for s in grammar_symbols(g.prods[p][1]):
            out.extend([s[1]] if s[0] == "t" else strings[s[1]])
        strings[k] = out

    while len(strings) < g.nnonterms:
        progress = False
        for k in range(g.nnonterms):
            if k not in strings and ready(optimal[k][0]):
                settle(k, optimal[k][0])
                progress = True
        if progress:
            continue
        for k in range(g.nnonterms):
            choices = [p for p in optimal[k] if ready(p)] if k not in strings else []
            if choices:
                settle(k, choices[0])
                break
        else:
            raise GrammarError(0, "cannot settle the cheapest strings")
    return [strings[k] for k in range(g.nnonterms)]


def build_instbl(strings):
    """Stores each distinct string once as count + codes; the empty string sits at index 0.

    N0 gets the empty string: its insertion is never allowed anyway."""
    instbl = [0]
    where = {(): 0}
    insndx = []
    for k, s in enumerate(strings):
        key = () if k == 0 else tuple(s)
        if key not in where:
            where[key] = len(instbl)
            instbl.append(len(s))
            instbl.extend(s)
        insndx.append(where[key])
    return instbl, insndx


def build_argtbl(arglists):
    """Lays out the action argument lists (count + arguments), longest first.

    A list equal to, or contiguous inside, a list already placed points into it."""
    argtbl = []
    placed = []  # (start, full list)
    argndx = [-1] * len(arglists)
    order = sorted((i for i, a in enumerate(arglists) if a), key=lambda i: (-len(arglists[i]), i))
    for i in order:
        want = [len(arglists[i])] + list(arglists[i])
        found = None
        for start, lst in placed:
            for off in range(len(lst) - len(want) + 1):
                if lst[off:off + len(want)] == want:
                    found = start + off
                    break
            if found is not None:
                break
        if found is None:
            found = len(argtbl)
            placed.append((found, want))
            argtbl.extend(want)
        argndx[i] = found
    return argtbl, argndx


def build_symtbl(terminals):
    symtbl, symndx = [], []
    for spelling in terminals:
        symndx.append(len(symtbl))
        symtbl.append(len(spelling))
        symtbl.extend(ord(ch) for ch in spelling)
    return symtbl, symndx


def encode_symbol(g, s):
    if s[0] == "t":
        return s[1]
    if s[0] == "n":
        return g.firstnt + s[1]
    return -(s[1] + 1)


def build_productions(g):
    prdlst, prdndx, lhstbl = [], [], []
    for lhs, body in g.prods:
        prdndx.append(len(prdlst))
        prdlst.append(len(body))
        prdlst.extend(encode_symbol(g, s) for s in reversed(body))
        lhstbl.append(lhs)
    return prdlst, prdndx, lhstbl


class Tables:
    """Everything the generated source holds."""

    def __init__(self, g):
        self.g = g
        nullable = compute_nullable(g)
        first = compute_first(g, nullable)
        follow = compute_follow(g, first, nullable)
        self.nullable, self.first, self.follow = nullable, first, follow
        self.rows, self.conflicts = predict_table(g, first, follow, nullable)
        self.prslst, self.prsndx = pack_rows(self.rows)
        self.prdlst, self.prdndx, self.lhstbl = build_productions(g)
        self.actmap = [g.actcodes[name] for name, _ in g.actions]
        self.argtbl, self.argndx = build_argtbl([args for _, args in g.actions])
        self.symtbl, self.symndx = build_symtbl(g.terminals)
        self.symmap = list(range(1, g.nterms + 1))
        tcost, ncost = symbol_costs(g)
        self.delcost = tcost[1:]
        self.strings = cheapest_strings(g, tcost, ncost)
        self.inscost = tcost[1:] + [min(c, NEVER) for c in ncost]
        self.inscost[g.nterms] = NEVER  # N0
        self.instbl, self.insndx = build_instbl(self.strings)
        if len(self.prslst) > 65535 or len(self.instbl) > 32767:
            raise GrammarError(0, "tables too large for their 16-bit counts")
        for name, ctype in TABLES:
            lo, hi = RANGES[ctype]
            bad = [v for v in getattr(self, name) if not lo <= v <= hi]
            if bad:
                raise GrammarError(0, f"{name} holds {bad[0]}, which does not fit {ctype}")


# ---------------------------------------------------------------------------------------------
# Writing the C++ source

TABLES = (  # name, element type, attribute of Tables
    ("prdlst", "int16_t"), ("prdndx", "uint16_t"), ("lhstbl", "uint16_t"),
    ("prslst", "int16_t"), ("prsndx", "int16_t"), ("actmap", "uint16_t"),
    ("argndx", "int16_t"), ("argtbl", "int16_t"), ("symtbl", "uint32_t"),
    ("symndx", "uint16_t"), ("symmap", "uint16_t"), ("delcost", "uint8_t"),
    ("inscost", "uint8_t"), ("insndx", "uint16_t"), ("instbl", "uint16_t"),
)


RANGES = {"int16_t": (-32768, 32767), "uint16_t": (0, 65535), "uint32_t": (0, 2**32 - 1),
          "uint8_t": (0, 255)}


def _array(name, ctype, values, width=96):
    lines = [f"constexpr {ctype} {name}[{max(len(values), 1)}] = {{"]
    cur = "   "
    for v in values or [0]:
        item = f" {v},"
        if len(cur) + len(item) > width:
            lines.append(cur)
            cur = "   "
        cur += item
    lines.append(cur)
    lines.append("};")
    return "\n".join(lines)


def render(t, grammar_name, routine):
    g = t.g
    out = [
        f"// Generated by tools/llgen.py from {grammar_name}; do not edit by hand.",
        f"// The LL(1) tables of the grammar and the routine {routine}, which hands them to the",
        "// parse engine in a grammar descriptor.",
        "",
        '#include "zorv/nqhost.h"',
        "",
        "#include <cstdint>",
        "#include <cstring>",
        "",
        "namespace {",
        "",
        f"// {g.nterms} terminals (codes 1..{g.nterms}), {g.nnonterms} nonterminals "
        f"(codes {g.firstnt}..{g.firstnt + g.nnonterms - 1}), {len(g.prods)} productions, "
        f"{len(g.actions)} action entries.",
        "",
    ]
    for name, ctype in TABLES:
        out.append(_array(name, ctype, getattr(t, name)))
        out.append("")
    out += [
        "// Descriptor template: the counts and constants; the table addresses are stored by",
        "// the routine.",
        "constexpr NQGrammar pc = {",
        f"    .version = 2,",
        f"    .firstnt = {g.firstnt},",
        f"    .nterms = {g.nterms},",
        f"    .nprslst = {len(t.prslst)},",
        f"    .nevercost = {NEVER},",
        f"    .const63 = 63,",
        f"    .ninstbl = {len(t.instbl)},",
        f"    .nclasses = {g.nclasses},",
        "};",
        "",
        "}  // namespace",
        "",
        f'extern "C" NQGrammar* {routine}(NQGrammar* desc) {{',
        "    std::memcpy(desc, &pc, sizeof pc);",
    ]
    out += [f"    desc->{name} = {name};" for name, _ in TABLES]
    out += ["    return desc;", "}", ""]
    return "\n".join(out)


def display_name(path):
    """The grammar's path relative to the source tree, so the output is the same from any
    working directory."""
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    full = os.path.abspath(path)
    if os.path.commonpath([root, full]) == root:
        return os.path.relpath(full, root)
    return os.path.basename(path)


def main(argv=None):
    ap = argparse.ArgumentParser(description="Generate LL(1) grammar tables as C++.")
    ap.add_argument("grammar")
    ap.add_argument("--routine", required=True, help="name of the grammar routine")
    ap.add_argument("--out", required=True, help="C++ file to write (or to compare)")
    ap.add_argument("--check", action="store_true",
                    help="compare with --out instead of writing it")
    ap.add_argument("--expect-conflicts", type=int, default=None, metavar="N")
    a = ap.parse_args(argv)
    if not re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", a.routine):
        print(f"llgen: error: '{a.routine}' is not a C identifier", file=sys.stderr)
        return 2
    try:
        with open(a.grammar, encoding="utf-8") as f:
            text = f.read()
    except OSError as e:
        print(f"llgen: error: cannot read {a.grammar}: {e.strerror}", file=sys.stderr)
        return 2
    try:
        tables = Tables(parse_grammar(text))
    except GrammarError as e:
        where = f"{a.grammar}:{e.line}" if e.line else a.grammar
        print(f"llgen: {where}: error: {e.message}", file=sys.stderr)
        return 1
    g = tables.g
    for k, t, winner, loser in tables.conflicts:
        print(f"conflict: N{k} on '{g.terminals[t - 1]}' between productions {winner} and "
              f"{loser}", file=sys.stderr)
    status = 0
    if a.expect_conflicts is not None and len(tables.conflicts) != a.expect_conflicts:
        print(f"llgen: error: {len(tables.conflicts)} conflicts, expected {a.expect_conflicts}",
              file=sys.stderr)
        status = 1
    source = render(tables, display_name(a.grammar), a.routine)
    if a.check:
        try:
            with open(a.out, encoding="utf-8") as f:
                current = f.read()
        except OSError:
            print(f"llgen: error: {a.out} is missing; run without --check", file=sys.stderr)
            return 1
        if current != source:
            diff = list(difflib.unified_diff(current.splitlines(), source.splitlines(),
                                             a.out, "regenerated", lineterm="", n=0))
            changed = sum(1 for d in diff if d[:1] in "+-" and d[:3] not in ("+++", "---"))
            print(f"llgen: error: {a.out} is out of date ({changed} lines differ); "
                  "regenerate it:", file=sys.stderr)
            for d in diff[:20]:
                print(d, file=sys.stderr)
            return 1
        return status
    if status == 0:
        with open(a.out, "w", encoding="utf-8") as f:
            f.write(source)
    return status


if __name__ == "__main__":
    sys.exit(main())
