#!/usr/bin/env bash
# Draws the update program's pictures (device pictures, language flags, logo,
# warning sign) into updater/data/images/. The PNG files are kept in the repository;
# run this after changing scripts/pictures/make_pictures.cpp.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S scripts/pictures -B build/pictures > /dev/null
cmake --build build/pictures -j 4 > /dev/null
build/pictures/make_pictures updater/data/images
echo "pictures written to updater/data/images"
