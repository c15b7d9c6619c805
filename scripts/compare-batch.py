#!/usr/bin/env python3
"""Compare the batch output of two kest32 builds on random logs.

    python3 scripts/compare-batch.py OLD_KEST32 NEW_KEST32 [--logs 150] [--seed 1]

Writes random logs (Shift-JIS text with double-byte characters whose second
byte reads as a letter, half-width kana, lone CR and LF bytes, 0x1A, numbers
that repeat, replies to remarks before and after them, a last line without
its end) into a temporary folder and runs both programs on each:

- `--list` (every order, several column sets, `--expand-all`, both output
  encodings), `--show` of some numbers and `--index` (every order) must be
  byte for byte the same;
- `--grep` of random keys (every order, both case rules) is checked against
  the remark test written out here, once as bytes compared anywhere in a line
  (the old program's rule) and once as whole characters of a line (the new
  one's): each program must print exactly what its rule selects, so the two
  outputs differ only where a match straddled characters.

Exits 1 on the first difference, after printing the log, the command and
both outputs; prints a summary otherwise.
"""

import argparse
import os
import random
import subprocess
import sys
import tempfile

SORTS = ["remark", "content1", "content2"]


def is_lead(b):
    return 0x81 <= b <= 0x9F or 0xE0 <= b <= 0xFC


def ansi_upper(data):
    out = bytearray(data)
    i = 0
    while i < len(out):
        if is_lead(out[i]):
            i += 2
            continue
        if 0x61 <= out[i] <= 0x7A:
            out[i] -= 0x20
        i += 1
    return bytes(out)


def read_line(data, pos):
    """The line reader: (text, next position, stopped at CR)."""
    if pos >= len(data):
        return b"", pos, False
    cr = data.find(b"\r", pos)
    sub = data.find(b"\x1a", pos)
    if sub != -1 and (cr == -1 or sub < cr):
        return data[pos:sub], sub, False  # stays on the 0x1A byte
    if cr == -1:
        return data[pos:], len(data), False
    nxt = cr + 1
    if nxt < len(data) and data[nxt] == 0x0A:
        nxt += 1
    return data[pos:cr], nxt, True


def bytes_in_line(line, key, ignore_case):
    text = ansi_upper(line) if ignore_case else line
    return key in text


def characters_in_line(line, key, ignore_case):
    text = ansi_upper(line) if ignore_case else line
    starts = []
    i = 0
    while i < len(line):
        starts.append(i)
        i += 2 if is_lead(line[i]) and i + 1 < len(line) else 1
    starts.append(len(line))
    ends = set(starts)
    return any(text.startswith(key, s) and s + len(key) in ends for s in starts)


def remark_holds(data, start, end, key, ignore_case, rule):
    pos, count, span = start, 0, end - start
    while True:
        text, pos, _ = read_line(data, pos)
        if rule(text, key, ignore_case):
            return True
        count += len(text) + 2
        if count >= span:
            return False


def sjis(text):
    return text.encode("cp932")


PIECES = [sjis(t) for t in ["アイウ", "カタカナ", "（笑）", "ＡＢＣ", "自作パソコン", "＝＝", "ｱｲｳ", "ﾃｽﾄ", "ャ", "ハ"]] + [
    b"A", b"a", b"Z", b"ab", b"@", b"`", b"{", b"~", b" ", b"Hello", b"\r\n", b"\r\n", b"\r\n",
    b"\x83\x41", b"\x83\x61", b"\x81\x81", b"\x88\x9f", b"\xe0\x40", b"\xb1", b"\xdf", b"\x81",
    b"\r", b"\n", b"\x1a"]


def header(rng, number):
    layout3 = rng.random() < 0.1
    num = ("%03d" % (number % 1000)) if layout3 else ("%05d" % number)
    ident = rng.choice([b"ABC01234", b"XYZ99999", b"QQQ00001"])
    speaker = rng.choice([b"taro", sjis("さくら"), b"ken"]).ljust(16, b" ")
    title = rng.choice([b"title", sjis("自作の話"), b"Re: question"])
    return num.encode() + b"/00999 " + ident + b"  " + speaker + b" " + title


def random_log(rng):
    out = bytearray()
    if rng.random() < 0.9:
        out += rng.choice([b"Forum log", sjis("テスト会議室"), b"t"]) + b"\r\n"
        if rng.random() < 0.7:
            out += b"\r\n"
    count = rng.randint(1, 40)
    numbers = []
    for _ in range(count):
        number = rng.randint(1, 60) if rng.random() < 0.3 else len(numbers) + 1
        numbers.append(number)
        out += header(rng, number) + b"\r\n"
        line2 = b"     96/03/01  21:00   "
        if rng.random() < 0.5 and len(numbers) > 1:
            line2 += b"%05d" % rng.choice(numbers + [rng.randint(1, 80)]) + b" comment"
        out += line2 + b"\r\n"
        for _ in range(rng.randint(0, 20)):
            out += rng.choice(PIECES)
        out += b"\r\n"
    ending = rng.random()
    if ending < 0.2:
        out = out[:-2]
    elif ending < 0.3:
        out += b"\x1a"
    return bytes(out)


def key_argument(key):
    """The key as the command line gives it: as text when it is whole
    characters (the program converts it back), else the Shift-JIS bytes as
    they stand, when those cannot be taken for UTF-8."""
    try:
        text = key.decode("cp932")
        if text.encode("cp932") == key and "\r" not in text and "\x00" not in text:
            return text.encode("utf-8")
    except UnicodeDecodeError:
        pass
    try:
        key.decode("utf-8")
        return None  # would be read as UTF-8
    except UnicodeDecodeError:
        return key


def run(binary, args, env):
    return subprocess.run([binary] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)


def fail(what, log_path, args, old, new):
    print("DIFFERENT: %s" % what)
    print("  log: %s" % log_path)
    print("  args: %r" % args)
    print("  old: %r" % old[:2000])
    print("  new: %r" % new[:2000])
    sys.exit(1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--logs", type=int, default=150)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--keep", action="store_true", help="keep the logs")
    a = parser.parse_args()
    rng = random.Random(a.seed)
    work = tempfile.mkdtemp(prefix="kest-compare-")
    env = dict(os.environ, LC_ALL="C.UTF-8", KEST_INI=os.path.join(work, "Kest.INI"),
               XDG_CACHE_HOME=os.path.join(work, "cache"))
    same = grep_runs = straddled = 0
    for n in range(a.logs):
        data = random_log(rng)
        path = os.path.join(work, "r%03d.log" % n)
        with open(path, "wb") as f:
            f.write(data)
        plain = ["--input-encoding=shift_jis", path]
        commands = []
        for sort in SORTS:
            commands.append(["--list", "--sort=" + sort] + plain)
            commands.append(["--list", "--sort=" + sort, "--columns=number,date,speaker", "--encoding=shift_jis"] + plain)
            commands.append(["--index", "--sort=" + sort] + plain)
        commands.append(["--list", "--sort=content2", "--expand-all", "--columns="] + plain)
        for number in rng.sample(range(0, 62), 4):
            commands.append(["--show", str(number)] + plain)
        for args in commands:
            old, new = run(a.old, args, env), run(a.new, args, env)
            if (old.stdout, old.returncode) != (new.stdout, new.returncode):
                fail("output", path, args, old.stdout, new.stdout)
            same += 1

        # The spans of every position, from --index, for the greps.
        spans = {}
        for sort in SORTS:
            rows = run(a.new, ["--index", "--sort=" + sort] + plain, env).stdout.decode().splitlines()
            spans[sort] = [(int(r.split("\t")[1]), int(r.split("\t")[5]), int(r.split("\t")[6])) for r in rows]
        body = data[data.find(b"\r\n") + 2:]
        for _ in range(8):
            if rng.random() < 0.25:
                key = rng.choice([b"A", b"a", b"@", sjis("ア"), sjis("＝"), b"\x41\x83", b"\x81\x81", sjis("ｶ")])
            else:
                at = rng.randrange(max(len(body) - 1, 1))
                key = body[at:at + rng.randint(1, 4)]
            argument = key_argument(key)
            if not argument or b"\x00" in argument:
                continue
            ignore_case = rng.random() < 0.4
            wanted = ansi_upper(key) if ignore_case else key
            for sort in SORTS:
                args = ["--grep", argument, "--sort=" + sort] + (["--ignore-case"] if ignore_case else []) + plain
                old, new = run(a.old, args, env), run(a.new, args, env)
                if b"\r" in wanted or b"\x1a" in wanted:
                    expect_old = expect_new = b""
                else:
                    by_bytes = [num for num, s, e in spans[sort]
                                if remark_holds(data, s, e, wanted, ignore_case, bytes_in_line)]
                    by_chars = [num for num, s, e in spans[sort]
                                if remark_holds(data, s, e, wanted, ignore_case, characters_in_line)]
                    expect_old = "".join("%d\n" % x for x in by_bytes).encode()
                    expect_new = "".join("%d\n" % x for x in by_chars).encode()
                if old.stdout != expect_old:
                    fail("old --grep against bytes anywhere in a line", path, args, old.stdout, expect_old)
                if new.stdout != expect_new:
                    fail("new --grep against whole characters", path, args, expect_new, new.stdout)
                grep_runs += 1
                straddled += old.stdout != new.stdout
        if not a.keep:
            os.remove(path)
    print("%d logs: %d --list/--show/--index runs the same; %d --grep runs as their rules select, "
          "%d of them different where a match straddled characters" % (a.logs, same, grep_runs, straddled))


if __name__ == "__main__":
    main()
