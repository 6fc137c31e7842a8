#!/usr/bin/env python3
"""Writes the update program's data files under updater/data/ from
updater/lang/texts.txt (language texts and names) and the setup table below:
Z5update.<suffix> for the 24 languages, z5lang.cfg, z5setup.cfg and the
firmware part files for the simulator.

Usage: scripts/gen_updater_data.py [--check]
  --check  writes nothing; fails when a file differs from what would be written.
"""
import hashlib
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
TABLE = ROOT / "updater" / "lang" / "texts.txt"
DATA = ROOT / "updater" / "data"

# Suffix of each language index 0..23.
SUFFIXES = ["de", "uk", "sp", "ru", "pl", "ar", "fr", "pt", "nl", "ro", "bg", "cs",
            "hr", "ukr", "hu", "lt", "lv", "kk", "it", "sv", "grc", "tr", "vi", "ko"]
CHOSEN_LANGUAGE = 1

# Setup file: per type code the offered version (major*256 + minor), the
# device class, the accepted hardware versions and the sizes of its parts. The
# simulator's devices (sim/z5sim_kinds.cpp) take these classes and versions.
SETUP = [
    ("RTUU", 0x0203, 2, [1, 2], [4096, 3072, 2048]),
    ("RTCU", 0x0105, 11, [1], [3000]),
    ("RCU", 0x0104, 12, [1], [2500]),
    ("DUU", 0x0202, 5, [1, 2], [3500, 1800]),
    ("ST", 0x0101, 13, [1], [2200]),
    ("DLU", 0x010A, 3, [2, 3], [5000]),
    ("LIGHTSPEED", 0x0102, 6, [1], [4000]),
    ("UNIZ", 0x0103, 7, [1], [2600]),
    ("TIMER62", 0x0201, 8, [1], [2400]),
    ("DDS", 0x0104, 9, [1], [2000, 1500]),
    ("XRAY", 0x0102, 10, [1], [2800]),
]


class TableError(Exception):
    pass


def read_table():
    ids = {}          # id -> (maxlen, role)
    languages = []    # (suffix, own name, {id: text})
    current = None
    for number, raw in enumerate(TABLE.read_text(encoding="utf-8").splitlines(), 1):
        where = f"{TABLE.name}:{number}"
        if not raw or raw.startswith("#"):
            continue
        if raw.startswith("@"):
            id_text, maxlen, role = raw[1:].split(" ", 2)
            ids[int(id_text)] = (int(maxlen), role)
        elif raw.startswith("["):
            suffix, name = raw[1:].split("] ", 1)
            current = {}
            languages.append((suffix, name, current))
        else:
            if current is None or "=" not in raw:
                raise TableError(f"{where}: expected <id>=<text>")
            id_text, text = raw.split("=", 1)
            text_id = int(id_text)
            if text_id not in ids:
                raise TableError(f"{where}: undeclared id {text_id}")
            if text_id in current:
                raise TableError(f"{where}: id {text_id} twice")
            if "_" in text or "\r" in text:
                raise TableError(f"{where}: '_' or CR in text")
            units = len(text.encode("utf-16-le")) // 2
            if units > ids[text_id][0]:
                raise TableError(f"{where}: {units} units, more than maxlen {ids[text_id][0]}")
            current[text_id] = text
    if [s for s, _, _ in languages] != SUFFIXES:
        raise TableError("languages must be the 24 suffixes in index order")
    for suffix, _, texts in languages:
        missing = sorted(set(ids) - set(texts))
        if missing:
            raise TableError(f"[{suffix}] lacks ids {missing}")
    return ids, languages


def utf16_lines(lines):
    return b"\xff\xfe" + "".join(line + "\r\n" for line in lines).encode("utf-16-le")


def ansi_lines(lines):
    return "".join(line + "\r\n" for line in lines).encode("ascii")


def firmware_bytes(name, size):
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(f"{name}:{counter}".encode()).digest()
        counter += 1
    return bytes(out[:size])


def build():
    ids, languages = read_table()
    files = {}
    for suffix, _, texts in languages:
        entries = [f"_{i},{ids[i][0]}>{texts[i]}" for i in sorted(ids)]
        files[f"Z5update.{suffix}"] = utf16_lines(entries)

    lang = ["[Sprachen]"]
    lang += [f"Lang{k + 1}={name}" for k, (_, name, _) in enumerate(languages)]
    lang += ["", "[Einstellungen]", f"Sprache={CHOSEN_LANGUAGE}"]
    files["z5lang.cfg"] = utf16_lines(lang)

    setup = []
    for code, version, device_class, hardware, parts in SETUP:
        setup += [f"[{code}]", f"Firmwarenumber={version}", f"MaxFilenames={len(parts)}"]
        for i, size in enumerate(parts, 1):
            name = f"firmware/{code.lower()}_part{i}.bin"
            setup.append(f"Filename{i}={name}")
            files[name] = firmware_bytes(name, size)
        setup += [f"Devicetyp={device_class}", f"Hardwarenumbers={len(hardware)}"]
        setup += [f"HardwareVersion{j}={v}" for j, v in enumerate(hardware, 1)]
        setup.append("")
    files["z5setup.cfg"] = ansi_lines(setup)
    return files


def main():
    check = "--check" in sys.argv[1:]
    try:
        files = build()
    except (TableError, ValueError) as error:
        print(f"error: {error}", file=sys.stderr)
        return 1
    stale = []
    for name, content in sorted(files.items()):
        path = DATA / name
        if path.exists() and path.read_bytes() == content:
            continue
        stale.append(name)
        if not check:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(content)
    if check and stale:
        print("out of date (run scripts/gen_updater_data.py): " + ", ".join(stale), file=sys.stderr)
        return 1
    if not check:
        print(f"{len(stale)} of {len(files)} files written")
    return 0


if __name__ == "__main__":
    sys.exit(main())
