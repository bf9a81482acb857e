#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer above its own, or when a
target links a layer above its own or a library that none of its files uses.

Each layer is a folder and one library. Lowest first:
    platform <- core <- toolkit, i18n/files, settings, net <- i18n, tools <- download <- app
(layers of one rank know nothing of each other). A folder may include its own headers
and those of any layer below it, and its targets link the same. A subfolder belongs to
the layer of its parent unless it is a layer itself (platform/posix is platform's;
i18n/files is a layer of its own). tests/, bench/ and fuzz/ may include and link
anything.

Usage: check-layers.py SOURCE_FOLDER BUILD_FOLDER

The links come from the build folder: tests/CMakeLists.txt writes every target's
folder, sources and direct links to tests/layering/link-graph.json there when CMake
generates the build system. A target's files are its sources and the headers that
belong to it: a header belongs to the targets that list it or the .cpp of its stem,
and one that no target claims to every target with sources in its folder. A target
uses a library when one of its files includes a header of that library.
"""
import json
import pathlib
import re
import sys
import tempfile
from dataclasses import dataclass

LAYERS = {"platform": 0, "core": 1, "toolkit": 2, "i18n/files": 2, "settings": 2, "net": 2, "i18n": 3, "tools": 3,
          "download": 4, "app": 5}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([A-Za-z0-9_/]+)/[^/"]+"', re.MULTILINE)
ANY_INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]', re.MULTILINE)
LINK_GRAPH = pathlib.Path("tests/layering/link-graph.json")
# The outside libraries whose use shows in an include, and the headers that show it.
# Qt's modules are known by their header folders; other links are not checked.
OUTSIDE_HEADERS = {
    "JPEG::JPEG": {"jpeglib.h"},
    "Threads::Threads": {"thread", "pthread.h"},
    "dl": {"dlfcn.h"},
}


@dataclass
class Target:
    folder: pathlib.Path
    sources: list
    links: list


def layer_named(parts):
    """The layer that a folder given as path parts belongs to: the longest layer that
    is the folder or holds it; None for a folder of no layer."""
    for length in range(len(parts), 0, -1):
        name = "/".join(parts[:length])
        if name in LAYERS:
            return name
    return None


def above(layer, other):
    """Whether `other` is out of reach of `layer`: higher, or another of its rank."""
    return LAYERS[other] > LAYERS[layer] or (LAYERS[other] == LAYERS[layer] and other != layer)


def include_violations(root):
    found = []
    for path in sorted(root.rglob("*")):
        layer = layer_of(root, path.parent)
        if path.suffix not in (".cpp", ".h") or layer is None:
            continue
        for match in INCLUDE.finditer(path.read_text(encoding="utf-8")):
            target = layer_named(match.group(1).split("/"))
            if target and above(layer, target):
                found.append(f"{path.relative_to(root)}: includes {target}/, a layer above {layer}/")
    return found


def read_link_graph(path):
    """The targets of the graph by name, and the folder that holds Qt's module headers."""
    graph = json.loads(path.read_text(encoding="utf-8"))
    targets = {}
    for entry in graph["targets"]:
        folder = pathlib.Path(entry["folder"]).resolve()
        sources = [(folder / source).resolve() for source in entry["sources"].split(";") if source]
        targets[entry["name"]] = Target(folder, sources, entry["links"].split(";"))
    qt_core = [folder for folder in map(pathlib.Path, graph["qtIncludes"].split(";")) if folder.name == "QtCore"]
    return targets, qt_core[0].parent if qt_core else None


def layer_of(root, folder):
    return layer_named(folder.relative_to(root).parts) if folder.is_relative_to(root) else None


def files_of(root, targets):
    """Each target's sources in the layers' folders and the headers that belong to it."""
    files = {}
    for name, target in targets.items():
        files[name] = {source for source in target.sources
                       if source.suffix in (".cpp", ".h") and layer_of(root, source.parent) and source.exists()}
        files[name] |= {source.with_suffix(".h") for source in files[name] if source.with_suffix(".h").exists()}
    claimed = {path for own in files.values() for path in own if path.suffix == ".h"}
    for own in files.values():
        for folder in {path.parent for path in own}:
            own |= set(folder.glob("*.h")) - claimed
    return files


def included(path):
    """What `path` includes, as written: our own headers by folder ("core/TStrings.h")."""
    return set(ANY_INCLUDE.findall(path.read_text(encoding="utf-8")))


def outside_headers(link, qt_headers):
    """The includes that show a use of the outside library `link`, or None when unknown."""
    if link.startswith("Qt6::") and qt_headers:
        module = qt_headers / ("Qt" + link.removeprefix("Qt6::"))
        if module.is_dir():
            names = [path.name for path in module.iterdir()]
            return set(names) | {f"{module.name}/{name}" for name in names}
    return OUTSIDE_HEADERS.get(link)


def link_violations(root, targets, qt_headers):
    files = files_of(root, targets)
    found = []
    for name, target in targets.items():
        layer = layer_of(root, target.folder)
        if layer is None:
            continue
        uses = set().union(*(included(path) for path in files[name]))
        for link in target.links:
            if link in targets:
                other = layer_of(root, targets[link].folder)
                if other and above(layer, other):
                    found.append(f"{name}: links {link} of {other}/, a layer above {layer}/")
                headers = {path.relative_to(root).as_posix() for path in files[link] if path.suffix == ".h"}
            else:
                headers = outside_headers(link, qt_headers)
            # A target of generated code only (Qt's resource objects) has no files to read.
            if files[name] and headers is not None and not uses & headers:
                found.append(f"{name}: links {link}, but none of its files includes a header of {link}")
    return found


# The sample tree of the self-check: a toolkit file includes an app header, and the
# rest keeps the rules.
SAMPLE_FILES = {
    "core/TStrings.h": "#include <QString>\n",
    "core/TStrings.cpp": '#include "core/TStrings.h"\n',
    "toolkit/TForm.h": '#include <QWidget>\n#include "core/TStrings.h"\n',
    "toolkit/TForm.cpp": '#include "toolkit/TForm.h"\n#include "app/TfrmMain.h"\n',
    "toolkit/TJPEGImage.cpp": "#include <jpeglib.h>\n",
    "i18n/files/Charsets.h": "#include <QString>\n",
    "i18n/files/TPoFile.h": '#include "i18n/files/Charsets.h"\n#include "core/TStrings.h"\n',
    "i18n/files/TPoFile.cpp": '#include "i18n/files/TPoFile.h"\n',
    "i18n/TLangDispatcher.h": '#include "toolkit/TForm.h"\n',
    "i18n/TLangDispatcher.cpp": '#include "i18n/TLangDispatcher.h"\n#include "i18n/files/TPoFile.h"\n',
    "i18n/TStringTable.cpp": '#include "toolkit/TForm.h"\n',
    "settings/TRegedit.cpp": '#include "core/TStrings.h"\n',
    "tools/TessalySib.cpp": '#include "i18n/files/TPoFile.h"\n',
    "app/TfrmMain.h": '#include "toolkit/TForm.h"\n',
    "app/TfrmMain.cpp": '#include "app/TfrmMain.h"\n',
    "qt/QtCore/QString": "",
    "qt/QtWidgets/QWidget": "",
}
# Its link graph, which keeps the rules: name -> (folder, sources, links) as CMake
# writes them (relative sources are relative to the folder).
SAMPLE_GRAPH = {
    "core": ("core", "{build}/core_autogen/mocs_compilation.cpp;{root}/core/TStrings.cpp",
             "Qt6::Core;kw_options"),
    "toolkit": ("toolkit", "{root}/toolkit/TForm.cpp;{root}/toolkit/TJPEGImage.cpp",
                "core;Qt6::Widgets;JPEG::JPEG"),
    "i18nfiles": ("i18n/files", "{root}/i18n/files/Charsets.h;{root}/i18n/files/TPoFile.cpp", "core"),
    "i18n": ("i18n", "{root}/i18n/TLangDispatcher.cpp;{root}/i18n/TStringTable.cpp", "i18nfiles;toolkit"),
    "settings": ("settings", "{root}/settings/TRegedit.cpp", "core"),
    "tessaly-sib": ("tools", "TessalySib.cpp", "i18nfiles"),
    "app": ("app", "{root}/app/TfrmMain.cpp", "toolkit"),
    "app_resources_1": ("app", "{build}/.rcc/qrc_forms.cpp", "Qt6::Core"),
}
# Each row gives one target of the sample graph other links (and other sources, where
# not None) and names the violations the check must report then, no more and no fewer.
SAMPLE_LINKS = [
    ("the graph as it is", None, None, None, []),
    ("a link to a higher layer", "toolkit", "core;Qt6::Widgets;JPEG::JPEG;app", None,
     ["toolkit: links app of app/, a layer above toolkit/"]),
    ("a link between two layers of one rank", "settings", "core;i18nfiles", None,
     ["settings: links i18nfiles of i18n/files/, a layer above settings/",
      "settings: links i18nfiles, but none of its files includes a header of i18nfiles"]),
    ("a link to a lower layer that nothing includes", "i18n", "i18nfiles;toolkit;core", None,
     ["i18n: links core, but none of its files includes a header of core"]),
    # Without TLangDispatcher.cpp its header, claimed by no target, still belongs to
    # i18n, whose folder holds it; the headers of i18n/files do not.
    ("a link to i18n/files that nothing includes", "i18n", "i18nfiles;toolkit",
     "{root}/i18n/TStringTable.cpp",
     ["i18n: links i18nfiles, but none of its files includes a header of i18nfiles"]),
    ("an outside library that nothing includes", "toolkit", "core;Qt6::Widgets;JPEG::JPEG",
     "{root}/toolkit/TForm.cpp",
     ["toolkit: links JPEG::JPEG, but none of its files includes a header of JPEG::JPEG"]),
    ("a Qt module that nothing includes", "core", "Qt6::Core;Qt6::Widgets", None,
     ["core: links Qt6::Widgets, but none of its files includes a header of Qt6::Widgets"]),
]


def write_link_graph(path, sample, graph):
    targets = [{"name": name, "folder": str(sample / folder), "links": links,
                "sources": sources.format(root=sample, build=sample / "build")}
               for name, (folder, sources, links) in graph.items()]
    qt_includes = f"{sample / 'qt' / 'QtCore'};{sample / 'qt'}"
    path.write_text(json.dumps({"qtIncludes": qt_includes, "targets": targets}), encoding="utf-8")


def self_check_failures():
    """The check itself must see a violation where there is one, and only there."""
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        sample = pathlib.Path(scratch).resolve()
        for name, text in SAMPLE_FILES.items():
            (sample / name).parent.mkdir(parents=True, exist_ok=True)
            (sample / name).write_text(text, encoding="utf-8")
        if not include_violations(sample):
            failures.append("the check misses an include of a higher layer")
        for what, changed, links, sources, expected in SAMPLE_LINKS:
            graph = dict(SAMPLE_GRAPH)
            if changed:
                folder, sample_sources, _ = graph[changed]
                graph[changed] = (folder, sources or sample_sources, links)
            write_link_graph(sample / "link-graph.json", sample, graph)
            found = link_violations(sample, *read_link_graph(sample / "link-graph.json"))
            if found != expected:
                failures.append(f"for {what}, the check reports {found} instead of {expected}")
    return failures


def main():
    if len(sys.argv) != 3:
        print("usage: check-layers.py SOURCE_FOLDER BUILD_FOLDER", file=sys.stderr)
        return 2
    root = pathlib.Path(sys.argv[1]).resolve()
    graph_path = pathlib.Path(sys.argv[2]).resolve() / LINK_GRAPH
    failures = self_check_failures()
    if not graph_path.is_file():
        failures.append(f"no link graph at {graph_path}; CMake writes it when it configures the build "
                        "folder with the tests")
    else:
        targets, qt_headers = read_link_graph(graph_path)
        # A graph that lost a layer's targets or Qt's headers would let links through unread.
        files = files_of(root, targets)
        read = {layer_of(root, targets[name].folder) for name, own in files.items() if own}
        failures += [f"{graph_path} names no target with sources in {folder}/"
                     for folder in LAYERS if folder not in read]
        if not qt_headers:
            failures.append(f"{graph_path} does not say where Qt's headers are")
    for failure in failures:
        print(f"check-layers: {failure}", file=sys.stderr)
    if failures:
        return 2
    found = include_violations(root) + link_violations(root, targets, qt_headers)
    for violation in found:
        print(violation, file=sys.stderr)
    if not found:
        print("check-layers: every include and every link points to its own layer or one below, "
              "and every link is used")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
