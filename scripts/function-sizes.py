#!/usr/bin/env python3
"""Function sizes of C++ files: lines from the parameter list to the closing brace, and parameters.

usage: scripts/function-sizes.py FILE... ; functions over 80 lines or 5 parameters are marked OVER and
make the exit status 1.
"""
import re, sys

def strip(src):
    out = []; i = 0; n = len(src)
    while i < n:
        c = src[i]
        if src.startswith('//', i):
            j = src.find('\n', i); j = n if j < 0 else j; out.append(' ' * (j - i)); i = j
        elif src.startswith('/*', i):
            j = src.find('*/', i + 2); j = n if j < 0 else j + 2
            out.append(re.sub(r'[^\n]', ' ', src[i:j])); i = j
        elif src.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', src[i:]); end = ')' + m.group(1) + '"'
            j = src.find(end, i) + len(end); out.append(re.sub(r'[^\n]', ' ', src[i:j])); i = j
        elif c in '"\'':
            j = i + 1
            while j < n and src[j] != c:
                j += 2 if src[j] == '\\' else 1
            out.append(c + ' ' * (j - i - 1) + c); i = j + 1
        else:
            out.append(c); i += 1
    return ''.join(out)

def scan(path):
    s = strip(open(path, encoding='utf-8').read())
    res = []; stack = []  # entries: 'f' function body or 'o' other
    paren = []  # positions of '('
    last_close = None  # (open_pos, close_pos) of last top-level paren group
    i = 0
    for i, c in enumerate(s):
        if c == '(':
            paren.append(i)
        elif c == ')':
            if paren:
                o = paren.pop()
                if not paren: last_close = (o, i)
        elif c == '{':
            infunc = 'f' in [e[0] for e in stack]
            kind = 'o'
            if not infunc and last_close and not paren:
                between = s[last_close[1] + 1:i]
                if re.fullmatch(r'[\s\w:<>,&*\-]*', between) and not re.search(r'\b(if|for|while|switch)\s*$', s[:last_close[0]]):
                    pre = s[:last_close[0]].rstrip()
                    name = re.search(r'([\w:~<>=!+\-*/\[\]]+)$', pre)
                    if name and name.group(1) not in ('if', 'for', 'while', 'switch', 'catch'):
                        kind = 'f'
            stack.append((kind, i, last_close))
            last_close = None
        elif c == '}':
            if stack:
                kind, start, lc = stack.pop()
                if kind == 'f':
                    pre = s[:lc[0]].rstrip()
                    # An operator's name ends in its symbol ("operator|="), which the word pattern misses.
                    word = re.search(r'([\w:~]+)$', pre)
                    name = word.group(1) if word else pre.split()[-1]
                    l0 = s.count('\n', 0, lc[0]) + 1; l1 = s.count('\n', 0, i) + 1
                    params = s[lc[0] + 1:lc[1]]
                    depth = 0; count = 0 if not params.strip() or params.strip() == 'void' else 1
                    for ch in params:
                        if ch in '(<[{': depth += 1
                        elif ch in ')>]}': depth -= 1
                        elif ch == ',' and depth == 0: count += 1
                    res.append((l1 - l0 + 1, count, name, path, l0))
            last_close = None
        elif c == ';' and not paren:
            last_close = None
    return res

allres = []
for p in sys.argv[1:]: allres += scan(p)
allres.sort(key=lambda r: (-r[0], -r[1]))
over = False
for lines, params, name, path, l0 in allres:
    flag = ' <-- OVER' if lines > 80 or params > 5 else ''
    over = over or bool(flag)
    print(f'{lines:4d} lines {params:2d} params  {name}  {path}:{l0}{flag}')
sys.exit(1 if over else 0)
