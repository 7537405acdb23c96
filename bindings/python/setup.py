"""The wheel's two departures from a pure module: the library goes in beside
lsmtp.py, and the tag is py3-none-PLATFORM, since the module runs on any
Python 3 but the library on one platform (setup.cfg's plat_name). The
version is the module's, which the build filled in."""
import os
import re

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py
from wheel.bdist_wheel import bdist_wheel

LIBRARIES = ["liblsmtp.so.1", "lsmtp.dll"]


class BuildWithLibrary(build_py):
    def run(self):
        super().run()
        for name in LIBRARIES:
            if os.path.isfile(name):
                self.copy_file(name, os.path.join(self.build_lib, name))


class WithLibrary(Distribution):
    """Installed where a platform's binaries go (platlib)."""

    def has_ext_modules(self):
        return True


class PlatformWheel(bdist_wheel):
    def get_tag(self):
        return "py3", "none", super().get_tag()[2]


with open("lsmtp.py", encoding="utf-8") as module:
    version = re.search(r'^__version__ = "([0-9.]+)"$', module.read(), re.M).group(1)
setup(version=version, py_modules=["lsmtp"], distclass=WithLibrary,
      cmdclass={"build_py": BuildWithLibrary, "bdist_wheel": PlatformWheel})
