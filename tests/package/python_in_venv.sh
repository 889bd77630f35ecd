#!/bin/sh
# Runs a Python test with the smartdriver package installed as an integrator installs it: a fresh virtual
# environment, `pip install --no-build-isolation` of a copy of bindings/python, no package index.
#   python_in_venv.sh PYTHON SOURCE_DIR WORK_DIR TEST.py
set -eu
python="$1" source="$2" work="$3" test="$4"
# The sanitizers' runtimes that an instrumented build preloads are for the test, not for pip.
preload="${LD_PRELOAD:-}"
unset LD_PRELOAD
rm -rf "$work"
mkdir -p "$work"
# pip builds in the folder it is given; a copy keeps the source tree clean and parallel builds apart.
cp -R "$source" "$work/source"
# The system's setuptools and wheel build it: --no-build-isolation fetches nothing.
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --quiet --no-index --no-build-isolation --disable-pip-version-check \
  "$work/source"
# From a neutral folder, so that only the installed copy can be imported.
cd "$work"
"$work/venv/bin/python" -c 'import smartdriver, sys; sys.exit(0 if "/venv/" in smartdriver.__file__ else 1)'
[ -z "$preload" ] || export LD_PRELOAD="$preload"
exec "$work/venv/bin/python" "$test"
