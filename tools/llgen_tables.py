"""Grammar analysis of the LL(1) table generator: nullable, FIRST and FOLLOW sets, the
prediction table and its row packing, the error-repair costs and cheapest insertion
strings, and the encoded tables the parse engine reads."""

from llgen_source import NEVER, Grammar, GrammarError

TABLES = (  # name, element type, attribute of Tables
    ("prdlst", "int16_t"), ("prdndx", "uint16_t"), ("lhstbl", "uint16_t"),
    ("prslst", "int16_t"), ("prsndx", "int16_t"), ("actmap", "uint16_t"),
    ("argndx", "int16_t"), ("argtbl", "int16_t"), ("symtbl", "uint32_t"),
    ("symndx", "uint16_t"), ("symmap", "uint16_t"), ("delcost", "uint8_t"),
    ("inscost", "uint8_t"), ("insndx", "uint16_t"), ("instbl", "uint16_t"),
)


RANGES = {"int16_t": (-32768, 32767), "uint16_t": (0, 65535), "uint32_t": (0, 2**32 - 1),
          "uint8_t": (0, 255)}


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
