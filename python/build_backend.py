"""A PEP 517 build backend of the standard library alone: a wheel of the
package folder `ixadapter`, named and versioned by pyproject.toml."""

import base64
import hashlib
import tomllib
import zipfile
from pathlib import Path

_HERE = Path(__file__).resolve().parent
_TAG = "py3-none-any"


def _project():
    with open(_HERE / "pyproject.toml", "rb") as f:
        return tomllib.load(f)["project"]


def _metadata(project):
    lines = ["Metadata-Version: 2.1", f"Name: {project['name']}", f"Version: {project['version']}",
             f"Summary: {project['description']}", f"Requires-Python: {project['requires-python']}",
             "Provides-Extra: numpy", 'Requires-Dist: numpy; extra == "numpy"']
    return "\n".join(lines) + "\n"


def get_requires_for_build_wheel(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    project = _project()
    name, version = project["name"], project["version"]
    dist_info = f"{name}-{version}.dist-info"
    files = {f"{name}/{p.name}": p.read_bytes() for p in sorted((_HERE / name).iterdir())
             if p.is_file() and p.suffix in (".py", ".typed")}
    files[f"{dist_info}/METADATA"] = _metadata(project).encode()
    files[f"{dist_info}/WHEEL"] = (f"Wheel-Version: 1.0\nGenerator: ixadapter build_backend\n"
                                   f"Root-Is-Purelib: true\nTag: {_TAG}\n").encode()
    record = []
    for path, data in files.items():
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        record.append(f"{path},sha256={digest},{len(data)}")
    record.append(f"{dist_info}/RECORD,,")
    files[f"{dist_info}/RECORD"] = ("\n".join(record) + "\n").encode()
    wheel_name = f"{name}-{version}-{_TAG}.whl"
    with zipfile.ZipFile(Path(wheel_directory) / wheel_name, "w", zipfile.ZIP_DEFLATED) as wheel:
        for path, data in files.items():
            wheel.writestr(path, data)
    return wheel_name
