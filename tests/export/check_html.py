#!/usr/bin/env python3
"""The HTML export read back by a real HTML parser.

    check_html.py KEST32 SOURCE_DIR

For the sample log and for logs written here (fans, chains, numbers that
repeat, replies to remarks that are not in the log, remarks full of markup
characters), the page of `kest32 --export=html` is parsed with Python's
html.parser and checked against `kest32 --index` and `kest32 --export=text`
of the same log:

- the articles come in content order, each nested one list below the remark
  it answers (the parent's level in the index is one less), and "comment to"
  links to the parent's anchor; anchors are unique;
- a thread's page holds exactly the thread's remarks;
- the text of each article is the text of the text export, character for
  character, markup characters and all;
- the page is self-contained: no script, no style sheet or picture from
  elsewhere, lang="ja", the log's title as its title.

Prints 'N passed, M failed' and exits non-zero on a failure.
"""

import html.parser
import os
import subprocess
import sys
import tempfile

KEST32, SOURCE = sys.argv[1], sys.argv[2]
passed, failed = 0, 0


def check(ok, what):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
        print("FAIL:", what)


def run(*args, env_dir):
    env = dict(os.environ, KEST_INI=os.path.join(env_dir, "Kest.INI"),
               XDG_CACHE_HOME=os.path.join(env_dir, "cache"), LC_ALL="C.UTF-8")
    r = subprocess.run([KEST32, *args], capture_output=True, env=env)
    if r.returncode != 0:
        raise SystemExit("kest32 %s failed (%d): %s" % (" ".join(args), r.returncode, r.stderr.decode()))
    return r.stdout


# --- Logs of our own, Shift-JIS with CR LF -------------------------------------

def header1(number, ident="ABC01234", speaker="poster", title="title"):
    return "%05d/00999 %-8s  %s %s" % (number, ident, pad(speaker, 16), title)


def pad(text, width):
    raw = text.encode("cp932")
    return (raw + b" " * max(0, width - len(raw)))[:width].decode("cp932")


def header2(day, comment_to=0):
    line = "     96/03/%02d   21:00  " % day  # the commented-on number in bytes 24-28
    return line + ("%05d へのコメント" % comment_to if comment_to else "")


def make_log(path, title, remarks):
    """remarks: (number, comment_to, title, body lines)"""
    lines = [title, ""]
    for i, (number, to, remark_title, body) in enumerate(remarks):
        lines += [header1(number, title=remark_title), header2(1 + i % 28, to)] + body
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("cp932"))


MARKUP = ["</pre><script>alert('x')</script>", "& &amp; &lt; <b>bold</b> \"quoted\"", "",
          "  <!-- not a comment --> ]]> <![CDATA[", "</article></li></ul>"]


def shapes_log(path):
    remarks = [(1, 0, "fan", ["the fan"])]
    remarks += [(n, 1, "Re:fan", ["reply %d" % n]) for n in range(2, 9)]
    remarks += [(9, 4, "Re:Re:fan", ["under 4"])]
    remarks += [(20, 0, "chain", ["link 20"])] + [(n, n - 1, "Re:chain", ["link %d" % n]) for n in range(21, 30)]
    remarks += [(40, 99, "Re:lost", ["answers 99, not in the log"]), (41, 40, "Re:Re:lost", ["under 40"])]
    remarks += [(50, 0, "<markup> & \"title\"", MARKUP), (51, 50, "Re:markup", ["> " + MARKUP[0]])]
    # The numbers wrap around: 1, 2 and 20 again, answering the new 1.
    remarks += [(1, 0, "again", ["the second 1"]), (2, 1, "Re:again", ["the second 2"]),
                (20, 1, "Re:again", ["the second 20"])]
    make_log(path, "<図形> & ログ", remarks)
    return remarks


# --- The page, parsed ----------------------------------------------------------

class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack = []          # open elements
        self.articles = []       # dicts in document order
        self.title = ""
        self.lang = None
        self.outside = []        # anything that loads from elsewhere or runs
        self.ids = []
        self.current = None
        self.text_target = None  # "pre", "h2", "title" or None
        self.in_to = False       # inside the "comment to" paragraph

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "html":
            self.lang = a.get("lang")
        if tag in ("script", "link", "img", "iframe", "object", "embed"):
            self.outside.append(tag)
        for name in ("src", "srcset"):
            if name in a:
                self.outside.append("%s=%s" % (name, a[name]))
        if "href" in a and not a["href"].startswith("#"):
            self.outside.append("href=" + a["href"])
        if any(name.startswith("on") for name in a):
            self.outside.append("event handler on " + tag)
        if "id" in a:
            self.ids.append(a["id"])
        self.stack.append(tag)
        if tag == "article":
            # Its parent article: the one in the <li> that holds the <ul> holding this one's <li>.
            depth = self.stack.count("li") - 1
            self.current = {"id": a.get("id"), "depth": depth, "pre": "", "h2": "", "to": None, "number": None}
            self.articles.append(self.current)
        elif tag == "pre" and self.current:
            self.text_target = "pre"
        elif tag == "h2" and self.current:
            self.text_target = "h2"
        elif tag == "title":
            self.text_target = "title"
        elif tag == "p" and self.current and a.get("class") == "to":
            self.in_to = True
        elif tag == "a" and self.current and a.get("class") == "number":
            self.current["number"] = a.get("href")
        elif tag == "a" and self.current and self.in_to:
            self.current["to"] = a.get("href")

    def handle_endtag(self, tag):
        while self.stack:
            top = self.stack.pop()
            if top == tag:
                break
        if tag in ("pre", "h2", "title"):
            self.text_target = None
        if tag == "p":
            self.in_to = False
        if tag == "article":
            self.current = None

    def handle_data(self, data):
        if self.text_target == "title":
            self.title += data
        elif self.text_target and self.current is not None:
            self.current[self.text_target] += data


def parse(page_bytes):
    p = Page()
    p.feed(page_bytes.decode("utf-8"))
    p.close()
    return p


def index_rows(log, sort, env_dir):
    rows = []
    for line in run("--index", "--sort=" + sort, log, env_dir=env_dir).decode().splitlines():
        pos, number, to, level, mark, start, end = line.split("\t")
        rows.append({"number": int(number), "to": int(to), "level": int(level), "start": int(start)})
    return rows


def text_blocks(text):
    """The remarks of a text export: (header line, text lines), split at the
    blank line between remarks, which is followed by a header line."""
    blocks = []
    # Headers are the lines that follow a blank line (or the first line) and
    # carry the four panel texts.
    lines = text.split("\n")
    starts = [i for i, l in enumerate(lines) if "  ID: " in l and "  発言者: " in l and "  ﾀｲﾄﾙ: " in l
              and (i == 0 or lines[i - 1] == "")]
    for k, s in enumerate(starts):
        end = starts[k + 1] - 1 if k + 1 < len(starts) else len(lines) - 1
        blocks.append((lines[s], lines[s + 1:end]))
    return blocks


def check_page(name, page, rows, text, log_title):
    check(page.lang == "ja", name + ": lang=\"ja\"")
    check(page.title == log_title, name + ": the page title is the log's title (%r)" % page.title)
    check(not page.outside, name + ": nothing from elsewhere, no script: %r" % page.outside[:5])
    check(len(page.ids) == len(set(page.ids)), name + ": anchors are unique")
    check([a["number"] for a in page.articles] == ["#" + a["id"] for a in page.articles],
          name + ": each number links to its own article")
    check(len(page.articles) == len(rows), name + ": %d articles for %d remarks" % (len(page.articles), len(rows)))
    anchors = {}
    for i, (article, row) in enumerate(zip(page.articles, rows)):
        where = "%s: article %d (remark %d)" % (name, i, row["number"])
        check(article["id"].split("-")[0] == "r%05d" % row["number"], where + ": anchor " + article["id"])
        # Nested one list below its parent: the nearest remark before it one level up.
        base = rows[0]["level"]
        check(article["depth"] == row["level"] - base, where + ": depth %d, level %d" % (article["depth"], row["level"]))
        parent = next((j for j in range(i - 1, -1, -1) if rows[j]["level"] == row["level"] - 1), None)
        if row["to"] and parent is not None and row["level"] > base:
            check(article["to"] == "#" + page.articles[parent]["id"],
                  where + ": links to its parent %s, not %s" % (page.articles[parent]["id"], article["to"]))
        anchors[article["id"]] = article
    blocks = text_blocks(text)
    check(len(blocks) == len(page.articles), name + ": as many remarks in the text export (%d)" % len(blocks))
    for article, (header, lines) in zip(page.articles, blocks):
        pre = article["pre"]
        check(pre.startswith("\n"), name + ": <pre> opens with the line end the parser drops")
        check(pre[1:] == "".join(l + "\n" for l in lines),
              name + ": %s: the text as in the text export: %r / %r" % (article["id"], pre[1:200], lines[:5]))
        check("ﾀｲﾄﾙ: " + article["h2"] in header,
              name + ": %s: the title %r in the header %r" % (article["id"], article["h2"], header))


def main():
    with tempfile.TemporaryDirectory() as tmp:
        sample = os.path.join(SOURCE, "samples", "sample.log")
        shapes = os.path.join(tmp, "shapes.log")
        remarks = shapes_log(shapes)
        logs = [(sample, open(sample, "rb").read().split(b"\r\n")[0].decode("cp932")),
                (shapes, "<図形> & ログ")]
        for log, title in logs:
            name = os.path.basename(log)
            for sort in ("content1", "content2", "remark"):
                rows = index_rows(log, sort, tmp)
                if sort == "remark":
                    for r in rows:
                        r["level"] = -1  # the page is flat in remark order
                page = parse(run("--export=html", "--sort=" + sort, log, env_dir=tmp))
                text = run("--export=text", "--sort=" + sort, log, env_dir=tmp).decode()
                check_page("%s --sort=%s" % (name, sort), page, rows, text, title)

            # Every thread: its remarks only, the subtree of its first remark.
            rows = index_rows(log, "content1", tmp)
            numbers = [r["number"] for r in rows]
            firsts = {}
            for r in index_rows(log, "remark", tmp):
                firsts.setdefault(r["number"], r["start"])  # --thread takes the first in the file
            for number in sorted(set(numbers))[::4]:  # a quarter of them: the fans, chains and odd shapes are among them
                at = next(i for i, r in enumerate(rows) if r["start"] == firsts[number])
                top = at
                while top > 0 and rows[top]["level"] != -1:
                    top -= 1
                end = top + 1
                while end < len(rows) and rows[end]["level"] > rows[top]["level"]:
                    end += 1
                page = parse(run("--export=html", "--thread=%d" % number, log, env_dir=tmp))
                text = run("--export=text", "--thread=%d" % number, log, env_dir=tmp).decode()
                check_page("%s --thread=%d" % (name, number), page, rows[top:end], text, title)

        # The remark full of markup reads back as the text it is.
        page = parse(run("--export=html", "--remark=50", shapes, env_dir=tmp))
        i = next(k for k, r in enumerate(remarks) if r[0] == 50)
        check(page.articles[0]["pre"] == "\n" + header2(1 + i % 28) + "\n" + "".join(l + "\n" for l in MARKUP),
              "markup round-trips as text: %r" % page.articles[0]["pre"])
        check(page.articles[0]["h2"] == "<markup> & \"title\"", "a title with markup: %r" % page.articles[0]["h2"])

    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
