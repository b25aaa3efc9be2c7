#!/usr/bin/env bash
# The repository on its own: a clone of HEAD into an empty temporary folder
# (no sibling folder, nothing beside it) configures, builds and passes every
# test that reads the real captures. Anything that reads outside the
# repository fails here. The library objects come from ccache when the
# calling build used it (scripts/build.sh: paths relative to the repository,
# build/ inside it), so only the test programs are compiled again.
#   self_contained.sh SOURCE_DIR
set -euo pipefail
SRC=$1
if ! git -C "$SRC" rev-parse --verify -q HEAD >/dev/null; then
  echo "pas un dépôt git : vérification sautée"
  exit 77
fi
WORK=$(mktemp -d /tmp/vireluz_clone.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
git clone -q --no-hardlinks "$SRC" "$WORK/repo"
[ "$(ls -A "$WORK")" = repo ] || { echo "le dossier temporaire n'est pas vide"; exit 1; }
cd "$WORK/repo"
LAUNCHER=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR=$WORK/repo CCACHE_NOHASHDIR=true
  LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIRELUZ_BUILD_APP=OFF -DVIRELUZ_BUILD_BENCH=OFF \
  "${LAUNCHER[@]}" >configure.log 2>&1 || { cat configure.log; exit 1; }
cmake --build build -j "${VIRELUZ_JOBS:-2}" --target test_acquisition_decoder test_simulator vireluz-tic \
  >build.log 2>&1 || { tail -40 build.log; exit 1; }
cd build
LC_ALL=C.UTF-8 ctest --output-on-failure -R 'Captures|TicFrameBuilder|vireluz_tic_decode' >ctest.log 2>&1 ||
  { cat ctest.log; exit 1; }
grep -E 'tests passed|Total Test' ctest.log
# At least the capture tests themselves ran.
ran=$(grep -cE 'Test +#[0-9]+: (Captures|TicFrameBuilder|vireluz_tic_decode)' ctest.log || true)
[ "$ran" -ge 9 ] || { cat ctest.log; echo "seulement $ran tests de captures"; exit 1; }
