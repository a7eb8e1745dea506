#!/usr/bin/env bash
# Checks from the include lines that the tree keeps its layers: what each
# folder may include is the architecture (see ARCHITECTURE.md). Runs in well
# under a second; prints every offending line and fails when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

exec python3 - "$@" <<'PYTHON'
import os, re, sys

SOURCES = ("Reactive", "Platform", "Sync", "Quarlink", "LocalCloud", "Shared", "Orvella", "Glimmerd")
QUOTED = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
# A project header in angle brackets compiles too (the tree's root is on the
# include path), so it is held to the same rules.
PROJECT_ANGLED = re.compile(r'^\s*#\s*include\s*<((?:' + "|".join(SOURCES) + r')/[^>]+)>')
QT = re.compile(r'^\s*#\s*include\s*<(Q[A-Za-z0-9]+|Qt[A-Za-z0-9]+/[^>]+)>')

def is_test(path):
    return "/Tests/" in path or "/TestSupport/" in path

def under(path, *folders):
    return any(path.startswith(folder + "/") for folder in folders)

# Each rule: (name, applies to the including file, forbids the included path, reason).
RULES = [
    ("qt", lambda f: not under(f, "Orvella/UI", "Orvella/Launch", "Glimmerd/Daemon", "Glimmerd/FinderSyncHost", "Glimmerd/Tests"),
     None, "Qt only in the widgets (Orvella/UI), the launch that wires them and the extension daemon: the core stays testable headless"),
    ("libraries-below-the-application", lambda f: under(f, "Reactive", "Platform", "Sync", "Quarlink", "LocalCloud", "Shared"),
     lambda i: under(i, "Orvella", "Glimmerd"), "the libraries and the local service know nothing of the programs built on them"),
    ("engine-and-client-apart", lambda f: under(f, "Sync"), lambda i: under(i, "Quarlink"),
     "the engine reaches the service only through its own API protocol, which the application adapts"),
    ("client-and-engine-apart", lambda f: under(f, "Quarlink"), lambda i: under(i, "Sync"),
     "the API client knows no sync engine"),
    ("reactive-at-the-bottom", lambda f: under(f, "Reactive"), lambda i: not under(i, "Reactive"),
     "the reactive library stands on the standard library alone"),
    ("platform-on-reactive-only", lambda f: under(f, "Platform") and not is_test(f), lambda i: not under(i, "Platform", "Reactive"),
     "the platform layer stands on the reactive library alone (its tests may start the local service as a real peer)"),
    ("platform-tests-beside-the-service", lambda f: under(f, "Platform") and is_test(f),
     lambda i: not under(i, "Platform", "Reactive", "LocalCloud"),
     "the platform layer's tests stand on it, the reactive library and the local service as a real peer, nothing above"),
    ("foundation-first", lambda f: under(f, "Platform/Foundation") and not is_test(f),
     lambda i: under(i, "Platform") and not under(i, "Platform/Foundation"), "Platform/Foundation is the platform layer every other one builds on"),
    ("service-apart", lambda f: under(f, "LocalCloud"), lambda i: under(i, "Sync", "Quarlink"),
     "the local service shares no code with the client, so it cannot hide the client's faults"),
    ("core-below-the-widgets", lambda f: under(f, "Orvella") and not under(f, "Orvella/UI", "Orvella/Launch"),
     lambda i: under(i, "Orvella/UI", "Orvella/Launch"),
     "the application core and its view models run headless: they know nothing of the widgets or the launch"),
    ("extension-beside-the-application", lambda f: under(f, "Glimmerd"), lambda i: under(i, "Orvella"),
     "the extension shares with the application only what stands beside both in Shared"),
]

files = []
for source in SOURCES:
    for folder, _, names in os.walk(source):
        files += [os.path.join(folder, name) for name in names if name.endswith((".cpp", ".hpp", ".h"))]
files.sort()
known = set(files)

def included_path(path, written):
    # As the compiler finds a quoted include: beside the including file first,
    # then from the tree's root; "../" can reach any folder that way.
    beside = os.path.normpath(os.path.join(os.path.dirname(path), written))
    if beside in known or written.startswith("."):
        return beside
    return os.path.normpath(written)

problems = []
edges = {}
for path in files:
    with open(path, encoding="utf-8", errors="replace") as text:
        lines = text.read().splitlines()
    rules = [rule for rule in RULES if rule[1](path)]
    for number, line in enumerate(lines, 1):
        if "#" not in line or "include" not in line:
            continue
        qt = QT.match(line)
        quoted = QUOTED.match(line)
        angled = PROJECT_ANGLED.match(line)
        included = included_path(path, quoted.group(1)) if quoted else angled.group(1) if angled else None
        for name, _, forbids, reason in rules:
            if (forbids is None and qt) or (forbids is not None and included and forbids(included)):
                problems.append(f"{path}:{number}: {line.strip()}  [{name}: {reason}]")
        if included in known:
            edges.setdefault(path, set()).add(included)

# Folder circles inside a module. A folder with its own CMakeLists.txt is a
# module's front door: its own files may gather the module's folders.
from functools import cache

@cache
def has_cmake(folder):
    return os.path.isfile(os.path.join(folder, "CMakeLists.txt"))

def folder_of(path):
    folder = os.path.dirname(path)
    return None if has_cmake(folder) else folder

@cache
def module_of(folder):
    while folder and not has_cmake(folder):
        folder = os.path.dirname(folder)
    return folder

folder_edges = {}
witness = {}
for path, included in edges.items():
    source = folder_of(path)
    for target_path in included:
        target = folder_of(target_path)
        if source and target and source != target and module_of(source) == module_of(target):
            folder_edges.setdefault(source, set()).add(target)
            witness.setdefault((source, target), f"{path} includes {target_path}")

def circles(graph):
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for next_node in sorted(graph.get(node, ())):
            if next_node not in index:
                visit(next_node)
                low[node] = min(low[node], low[next_node])
            elif next_node in on_stack:
                low[node] = min(low[node], index[next_node])
        if low[node] == index[node]:
            component = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                component.append(member)
                if member == node:
                    break
            if len(component) > 1:
                found.append(sorted(component))
    sys.setrecursionlimit(100000)
    for node in sorted(graph):
        if node not in index:
            visit(node)
    return found

for component in circles(folder_edges):
    members = set(component)
    links = [witness[(a, b)] for a in component for b in sorted(folder_edges.get(a, ())) if b in members]
    problems.append(f"folder circle: {' ↔ '.join(component)}  [folders-in-layers: a module's folders include each other one way only]\n    "
                    + "\n    ".join(links))

for problem in problems:
    print(problem)
if problems:
    print(f"check-layers: {len(problems)} problem(s)", file=sys.stderr)
    sys.exit(1)
PYTHON
