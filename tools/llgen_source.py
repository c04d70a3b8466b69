"""Reading a *.grammar source for the LL(1) table generator: terminals, token classes,
action codes and entries (whose arguments may name the codes of a %names list), and the
numbered productions of the listing notation."""

import re

MAX_ARGS = 8          # the engine's action record holds at most this many arguments
NEVER = 127           # cost of what may never be inserted or deleted
END_SPELLING = "$$$"  # the end-of-input terminal
SECTIONS = ("%names", "%terminals", "%classes", "%actioncodes", "%actions", "%productions")
# A row of a %names list: the X-macro lines NAME(identifier, code) of a C header.
_NAME_ROW_RE = re.compile(r"^\s*\w+\(\s*([A-Za-z_]\w*)\s*,\s*(-?\d+)\s*\)", re.M)


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
        self.names = {}           # name -> code, from the %names list; the first row wins

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


def _parse_args(text, line, names):
    if text is None:
        return ()
    if text.strip() == "":
        raise GrammarError(line, "empty argument list; write the action without parentheses")
    args = []
    for part in text.split(","):
        part = part.strip()
        if re.fullmatch(r"[A-Za-z_]\w*", part):
            if part not in names:
                raise GrammarError(line, f"action argument '{part}' is not in the %names list")
            value = names[part]
        elif re.fullmatch(r"-?\d+", part):
            value = int(part)
        else:
            raise GrammarError(line, f"action argument '{part}' is neither an integer nor a name")
        if not -32768 <= value <= 32767:
            raise GrammarError(line, f"action argument {value} does not fit in 16 bits")
        args.append(value)
    if len(args) > MAX_ARGS:
        raise GrammarError(line, f"{len(args)} action arguments; at most {MAX_ARGS} are allowed")
    return tuple(args)


def read_names(text):
    """The name -> code rows of a %names list; the first row of a name wins."""
    names = {}
    for m in _NAME_ROW_RE.finditer(text):
        names.setdefault(m.group(1), int(m.group(2)))
    return names


def _action_text(name, args):
    return name if not args else f"{name}({','.join(str(a) for a in args)})"


def parse_grammar(text, read=None):
    """Reads a grammar source; raises GrammarError on the first fault. `read(path)` gives
    the text of the file a %names line points to (relative to the grammar)."""
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
            if word == "%names":
                m = re.fullmatch(r'"([^"]+)"', rest)
                if not m:
                    raise GrammarError(lineno, '%names needs the path of its list in quotes')
                if read is None:
                    raise GrammarError(lineno, "%names cannot be read here")
                try:
                    g.names = read_names(read(m.group(1)))
                except OSError as e:
                    raise GrammarError(lineno, f"cannot read {m.group(1)}: {e.strerror}")
                if not g.names:
                    raise GrammarError(lineno, f"{m.group(1)} lists no names")
                continue
            if word == "%classes":
                if not re.fullmatch(r"\d+", rest):
                    raise GrammarError(lineno, "%classes needs the number of token classes")
                g.nclasses = int(rest)
            elif rest:
                raise GrammarError(lineno, f"unexpected text after {word}")
            continue
        if section is None:
            raise GrammarError(lineno, "text before the first section")
        if section in ("%classes", "%names"):
            raise GrammarError(lineno, f"{section} takes its value on the same line")
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
            args = _parse_args(am.group(2), lineno, g.names)
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
            key = _action_text(name, _parse_args(am.group(2), lineno, g.names)) if am else name
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
