"""A minimal PEP 517 / PEP 660 build backend for the kivwebview package.

The package is pure Python without dependencies; building it needs only the
standard library, so no build requirement has to be fetched from an index.
"""

from __future__ import annotations

import base64
import hashlib
import io
import os
import re
import tarfile
import time
import zipfile
from typing import Dict, List, Optional, Tuple

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE = os.path.join(HERE, "src")
PACKAGE = "kivwebview"
TAG = "py3-none-any"
SHARED_SCRIPT = "page_api.js"


def _project() -> Dict[str, str]:
    with open(os.path.join(HERE, "pyproject.toml"), encoding="utf-8") as f:
        text = f.read()
    try:
        import tomllib  # Python 3.11+

        project = tomllib.loads(text)["project"]
        return {k: v for k, v in project.items() if isinstance(v, str)}
    except ImportError:
        section = text.split("[project]", 1)[1].split("\n[", 1)[0]
        return dict(re.findall(r'^([\w-]+)\s*=\s*"([^"]*)"', section, re.M))


def _metadata() -> str:
    p = _project()
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {p['name']}",
        f"Version: {p['version']}",
        f"Summary: {p.get('description', '')}",
        f"Requires-Python: {p.get('requires-python', '>=3.8')}",
        "Description-Content-Type: text/markdown",
    ]
    readme = os.path.join(HERE, p.get("readme", "README.md"))
    body = ""
    if os.path.exists(readme):
        with open(readme, encoding="utf-8") as f:
            body = f.read()
    return "\n".join(lines) + "\n\n" + body


def _dist_info() -> str:
    p = _project()
    return f"{p['name']}-{p['version']}.dist-info"


def _wheel_name() -> str:
    p = _project()
    return f"{p['name']}-{p['version']}-{TAG}.whl"


def _package_files() -> List[Tuple[str, str]]:
    """(archive name, file on disk) of every file of the package."""
    files = []
    for root, dirs, names in os.walk(os.path.join(SOURCE, PACKAGE)):
        dirs[:] = sorted(d for d in dirs if d != "__pycache__")
        for name in sorted(names):
            if name.endswith((".pyc", ".pyo")):
                continue
            path = os.path.join(root, name)
            files.append((os.path.relpath(path, SOURCE).replace(os.sep, "/"), path))
    # The page script that every host package of the library shares lives
    # in bindings/shared in the source tree; a built package carries a copy.
    if not any(arcname == f"{PACKAGE}/{SHARED_SCRIPT}" for arcname, _ in files):
        files.append((f"{PACKAGE}/{SHARED_SCRIPT}",
                      os.path.join(os.path.dirname(HERE), "shared", SHARED_SCRIPT)))
    return sorted(files)


def _write_wheel(directory: str, contents: List[Tuple[str, bytes]]) -> str:
    info = _dist_info()
    contents = contents + [
        (f"{info}/METADATA", _metadata().encode("utf-8")),
        (f"{info}/WHEEL", (
            "Wheel-Version: 1.0\nGenerator: kivwebview_build\n"
            f"Root-Is-Purelib: true\nTag: {TAG}\n").encode()),
        (f"{info}/top_level.txt", f"{PACKAGE}\n".encode()),
    ]
    record = []
    name = _wheel_name()
    stamp = time.localtime(int(os.environ.get("SOURCE_DATE_EPOCH", "315532800")))[:6]
    with zipfile.ZipFile(os.path.join(directory, name), "w", zipfile.ZIP_DEFLATED) as wheel:
        for arcname, data in contents:
            entry = zipfile.ZipInfo(arcname, stamp)
            entry.external_attr = 0o644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(entry, data)
            digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=")
            record.append(f"{arcname},sha256={digest.decode()},{len(data)}")
        record.append(f"{info}/RECORD,,")
        entry = zipfile.ZipInfo(f"{info}/RECORD", stamp)
        entry.external_attr = 0o644 << 16
        wheel.writestr(entry, "\n".join(record) + "\n")
    return name


def get_requires_for_build_wheel(config_settings: Optional[dict] = None) -> List[str]:
    return []


def get_requires_for_build_sdist(config_settings: Optional[dict] = None) -> List[str]:
    return []


def get_requires_for_build_editable(config_settings: Optional[dict] = None) -> List[str]:
    return []


def prepare_metadata_for_build_wheel(metadata_directory: str,
                                     config_settings: Optional[dict] = None) -> str:
    info = os.path.join(metadata_directory, _dist_info())
    os.makedirs(info, exist_ok=True)
    with open(os.path.join(info, "METADATA"), "w", encoding="utf-8") as f:
        f.write(_metadata())
    return _dist_info()


prepare_metadata_for_build_editable = prepare_metadata_for_build_wheel


def build_wheel(wheel_directory: str, config_settings: Optional[dict] = None,
                metadata_directory: Optional[str] = None) -> str:
    contents = []
    for arcname, path in _package_files():
        with open(path, "rb") as f:
            contents.append((arcname, f.read()))
    return _write_wheel(wheel_directory, contents)


def build_editable(wheel_directory: str, config_settings: Optional[dict] = None,
                   metadata_directory: Optional[str] = None) -> str:
    # The installed package is this source directory, found through a .pth file.
    return _write_wheel(wheel_directory, [(f"_{PACKAGE}_editable.pth", (SOURCE + "\n").encode())])


def build_sdist(sdist_directory: str, config_settings: Optional[dict] = None) -> str:
    p = _project()
    base = f"{p['name']}-{p['version']}"
    name = f"{base}.tar.gz"
    members = [(member, os.path.join(HERE, member))
               for member in ("pyproject.toml", "README.md", "_build/kivwebview_build.py")]
    members += [(f"src/{arcname}", path) for arcname, path in _package_files()]
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz", format=tarfile.PAX_FORMAT) as tar:
        for member, path in members:
            if os.path.exists(path):
                tar.add(path, f"{base}/{member}", recursive=False)
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        data = _metadata().encode("utf-8")
        info.size = len(data)
        info.mtime = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
        tar.addfile(info, io.BytesIO(data))
    return name
