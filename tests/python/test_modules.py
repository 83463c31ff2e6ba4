"""The package's modules import one another without a circle: a module
never needs, at load time or inside a function, a module that needs it
back. Imports under ``if TYPE_CHECKING:`` never run and do not count."""

import ast
import os
import tempfile
from typing import Dict, List, Optional, Set

import kivwebview

PACKAGE = os.path.dirname(os.path.abspath(kivwebview.__file__))
INIT = "__init__"


def _type_checking_only(node: ast.AST) -> bool:
    if not isinstance(node, ast.If):
        return False
    test = node.test
    return (isinstance(test, ast.Name) and test.id == "TYPE_CHECKING") or (
        isinstance(test, ast.Attribute) and test.attr == "TYPE_CHECKING")


def _imports(tree: ast.AST) -> List[ast.AST]:
    """Every import statement of a module, at any depth, but for those
    under ``if TYPE_CHECKING:``."""
    found: List[ast.AST] = []

    def visit(node: ast.AST) -> None:
        if isinstance(node, (ast.Import, ast.ImportFrom)):
            found.append(node)
        for child in ast.iter_child_nodes(node):
            if _type_checking_only(child):
                for orelse in child.orelse:
                    visit(orelse)
                continue
            visit(child)

    visit(tree)
    return found


def import_graph(directory: str, name: str) -> Dict[str, Set[str]]:
    """Module of the package ``name`` in ``directory`` -> the modules of the
    same package it imports ("__init__" stands for the package itself)."""
    modules = {f[:-3] for f in os.listdir(directory) if f.endswith(".py")}

    def target(dotted: Optional[str], alias: Optional[str]) -> str:
        # "from . import x" names a submodule x, or a name of the package.
        head = dotted.split(".")[0] if dotted else None
        if head is None:
            return alias if alias in modules else INIT
        return head if head in modules else INIT

    graph: Dict[str, Set[str]] = {}
    for module in sorted(modules):
        with open(os.path.join(directory, module + ".py"), encoding="utf-8") as f:
            tree = ast.parse(f.read(), module + ".py")
        edges: Set[str] = set()
        for node in _imports(tree):
            if isinstance(node, ast.ImportFrom):
                if node.level == 0:
                    if node.module != name and not (node.module or "").startswith(name + "."):
                        continue
                    inner = node.module[len(name) + 1:] or None
                else:
                    inner = node.module
                for alias in node.names:
                    edges.add(target(inner, alias.name))
            else:
                for alias in node.names:
                    if alias.name == name:
                        edges.add(INIT)
                    elif alias.name.startswith(name + "."):
                        edges.add(target(alias.name[len(name) + 1:], None))
        edges.discard(module)
        graph[module] = edges
    return graph


def find_circle(graph: Dict[str, Set[str]]) -> Optional[List[str]]:
    """One circle of the graph as a path that ends where it starts, or None."""
    done: Set[str] = set()
    path: List[str] = []

    def visit(node: str) -> Optional[List[str]]:
        if node in path:
            return path[path.index(node):] + [node]
        if node in done:
            return None
        path.append(node)
        for nxt in sorted(graph.get(node, ())):
            circle = visit(nxt)
            if circle:
                return circle
        path.pop()
        done.add(node)
        return None

    for node in sorted(graph):
        circle = visit(node)
        if circle:
            return circle
    return None


def test_the_finder_sees_circles_through_functions_and_the_package():
    with tempfile.TemporaryDirectory() as work:
        files = {
            "__init__.py": "from .a import one\n",
            "a.py": "from .b import two\n\ndef one():\n    return two()\n",
            # A circle closed from inside a function still counts...
            "b.py": "def two():\n    from .a import one\n    return one\n",
            # ...one under TYPE_CHECKING does not.
            "c.py": "from typing import TYPE_CHECKING\nif TYPE_CHECKING:\n"
                    "    from .a import one\nelse:\n    import pkg.b\n",
            # Importing a name of the package itself needs its __init__.
            "d.py": "from . import one\n",
        }
        for file, text in files.items():
            with open(os.path.join(work, file), "w", encoding="utf-8") as f:
                f.write(text)
        graph = import_graph(work, "pkg")
        assert graph == {INIT: {"a"}, "a": {"b"}, "b": {"a"}, "c": {"b"}, "d": {INIT}}
        assert find_circle(graph) == ["a", "b", "a"]
        graph["b"] = set()
        assert find_circle(graph) is None
        graph["a"] = {"d"}
        assert find_circle(graph) == [INIT, "a", "d", INIT]


def test_the_package_has_no_import_circle():
    graph = import_graph(PACKAGE, "kivwebview")
    # The finder read the real package: the package imports its modules,
    # and window.py the ones Window is made of.
    assert {"window", "_asyncio", "_runtime"} <= graph[INIT]
    assert {"_events", "_page_api", "_dialogs", "_window_actions"} <= graph["window"]
    circle = find_circle(graph)
    assert circle is None, "import circle: " + " -> ".join(circle)
