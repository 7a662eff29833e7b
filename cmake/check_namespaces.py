#!/usr/bin/env python3
"""Checks that every name the code under src/ declares sits in a named namespace.

Allowed outside one: the programs' entry points, extern "C" declarations, forward
declarations of the C libraries' own types (lower-case names such as sqlite3 or
pg_conn), and, in .cpp files only, using-declarations and anonymous namespaces.
Prints each offending declaration as path:line and exits 1 when there is one.
"""
import pathlib
import re
import sys

ENTRY_POINTS = re.compile(r'\b(main|wmain|WinMain|wWinMain|DllMain)\s*\(')
C_TYPE_DECLARATION = re.compile(r'^(struct|class)\s+[a-z_][a-z0-9_]*$')


def strip(text):
    """The text with comments, literals and preprocessor lines blanked, lines kept."""
    out = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c in ' \t':
            out.append(c); i += 1; continue
        if line_start and c == '#':
            while i < n and text[i] != '\n':  # a directive, with its continuations
                if text[i] == '\\' and i + 1 < n and text[i + 1] == '\n':
                    out.append('\n'); i += 2; continue
                i += 1
            continue
        line_start = False
        if text.startswith('//', i):
            while i < n and text[i] != '\n': i += 1
            continue
        if text.startswith('/*', i):
            end = text.find('*/', i + 2)
            end = n if end < 0 else end + 2
            out.append('\n' * text.count('\n', i, end)); i = end; continue
        m = re.match(r'(u8|u|U|L)?R"([^(]*)\(', text[i:i + 40])
        if m:
            end = text.find(')' + m.group(2) + '"', i + m.end())
            end = n if end < 0 else end + len(m.group(2)) + 2
            out.append(' "" ' + '\n' * text.count('\n', i, end)); i = end; continue
        if c == "'" and re.search(r'(?<![\w.])\d[\w.]*$', text[max(0, i - 40):i]):
            out.append(c); i += 1; continue  # a digit separator, as in 86'400
        if c in '"\'':
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == '\\' else 1
            out.append(' "" '); i = j + 1; continue
        if c == '\n': line_start = True
        out.append(c); i += 1
    return ''.join(out)


def global_statements(code):
    """(line, text) of each statement or block head at the outermost level, namespaces entered."""
    depth_kinds = []  # one entry per open brace: True when it opens a named namespace
    statement, start_line, line = [], None, 1
    for c in code:
        if c == '\n': line += 1
        outside = not depth_kinds
        if c == '{':
            head = ''.join(statement).strip()
            named = re.match(r'^(inline\s+)?namespace\s+[\w:]+$', head) is not None
            if outside and head and not named: yield start_line, head + ' {'
            depth_kinds.append(named)
            statement, start_line = [], None
        elif c == '}':
            if depth_kinds: depth_kinds.pop()
            statement, start_line = [], None
        elif c == ';':
            head = ''.join(statement).strip()
            if outside and head: yield start_line, head + ';'
            statement, start_line = [], None
        elif outside:
            if start_line is None and not c.isspace(): start_line = line
            statement.append(c)
        # inside a non-namespace block nothing is collected


def problems(path):
    source = path.suffix == '.cpp'
    for line, head in global_statements(strip(path.read_text(errors='replace'))):
        flat = ' '.join(head.split())
        if ENTRY_POINTS.search(flat) or flat.startswith('extern ""'): continue
        if C_TYPE_DECLARATION.match(flat.rstrip(';')): continue
        if source and (flat == 'namespace {' or flat.startswith('using ')): continue
        yield line, flat


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else '.') / 'src'
    found = 0
    for path in sorted(root.rglob('*')):
        if path.suffix not in ('.h', '.cpp'): continue
        for line, flat in problems(path):
            print(f'{path.relative_to(root.parent)}:{line}: outside a namespace: {flat[:100]}')
            found += 1
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main())
