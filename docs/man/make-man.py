#!/usr/bin/env python3
"""Writes a program's manual page from its own --help output.

make-man.py PROGRAM VERSION EXTRA OUTPUT

The help text is the one source: its usage line becomes the synopsis, the
first sentence of its description the one-line summary, and every headed
block ("Options:", "Exit status:", ...) a section. A program whose help has a
"Commands:" block gets a COMMANDS section with each command's own --help, so
a new subcommand appears in the manual page without touching this script.
EXTRA holds what a help text does not say (examples, files, see also) as
"[SECTION]" lines followed by roff.

The programs run with HOME set to "~", so defaults under the home directory
read as "~/..." rather than the home of whoever builds the page.
"""

import datetime
import os
import re
import subprocess
import sys

HEADING = re.compile(r"^(\S[^:]*):$")
ENTRY = re.compile(r"^ {2}(\S.*?) {2,}(\S.*)$")
CONTINUATION = re.compile(r"^ {3,}(\S.*)$")


def roff(text):
    """Escapes plain text for roff: backslashes, minus signs, and a line
    start that roff would read as a request."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\n".join("\\&" + line if line.startswith((".", "'")) else line
                     for line in text.split("\n"))


def run_help(program, args):
    env = dict(os.environ, HOME="~", LC_ALL="C.UTF-8")
    result = subprocess.run([program] + args + ["--help"], env=env, check=True,
                            stdout=subprocess.PIPE)
    return result.stdout.decode("utf-8")


class Help:
    """A help text split into its usage line, its description paragraphs and
    its headed blocks of (term, text) entries."""

    def __init__(self, text):
        lines = text.rstrip("\n").split("\n")
        if not lines[0].startswith("Usage: "):
            raise ValueError("help does not start with 'Usage: ': " + lines[0])
        self.usage = lines[0][len("Usage: "):]
        self.paragraphs = []
        self.blocks = []  # (heading, [[term, text], ...])
        block = None
        paragraph = []
        for line in lines[1:] + [""]:
            if not line.strip():
                if paragraph:
                    self.paragraphs.append(" ".join(paragraph))
                    paragraph = []
                block = None
                continue
            heading = HEADING.match(line)
            if heading:
                block = (heading.group(1), [])
                self.blocks.append(block)
                continue
            if block is not None:
                entry = ENTRY.match(line)
                continuation = CONTINUATION.match(line)
                if entry:
                    block[1].append([entry.group(1), entry.group(2)])
                elif continuation and block[1]:
                    block[1][-1][1] += " " + continuation.group(1)
                else:
                    raise ValueError("unexpected line in '%s': %s" % (block[0], line))
                continue
            paragraph.append(line.strip())

    def block(self, heading):
        for name, entries in self.blocks:
            if name == heading:
                return entries
        return []

    def summary(self):
        """The description's first sentence, as the NAME line wants it."""
        first = self.paragraphs[0]
        sentence = first.split(". ")[0].rstrip(".")
        return sentence[0].lower() + sentence[1:]


def synopsis(usage):
    words = usage.split(" ", 2)
    # "tessaly-avi info [--json] FILE...": the command (and subcommand) bold.
    command_words = 2 if len(words) > 1 and re.fullmatch(r"[a-z][a-z-]*", words[1]) else 1
    command = " ".join(words[:command_words])
    rest = usage[len(command):].strip()
    return ".B %s\n%s" % (roff(command), roff(rest))


def entries(items):
    out = []
    for term, text in items:
        out.append(".TP\n.B %s\n%s" % (roff(term), roff(text)))
    return "\n".join(out)


def paragraphs(items):
    return "\n".join(".PP\n" + roff(p) for p in items)


def read_extra(path):
    """[SECTION] headed roff fragments, in their order."""
    sections = []
    with open(path, encoding="utf-8") as f:
        for line in f.read().split("\n"):
            if re.fullmatch(r"\[[A-Z ]+\]", line):
                sections.append([line[1:-1], []])
            elif sections:
                sections[-1][1].append(line)
            elif line.strip():
                raise ValueError("%s: text before the first [SECTION]" % path)
    return [(name, "\n".join(body).strip("\n")) for name, body in sections]


def build_date():
    # Reproducible builds fix the date through SOURCE_DATE_EPOCH.
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    when = (datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc)
            if epoch else datetime.datetime.now(datetime.timezone.utc))
    return when.strftime("%Y-%m-%d")


def command_section(program, name):
    sub = Help(run_help(program, [name]))
    out = [".SS %s" % roff(name), synopsis(sub.usage), paragraphs(sub.paragraphs)]
    for heading, items in sub.blocks:
        out.append(".PP\n.I %s\n.RS\n%s\n.RE" % (roff(heading), entries(items)))
    return "\n".join(out)


def manual_page(program, version, extra_path):
    name = os.path.basename(program)
    top = Help(run_help(program, []))
    commands = [term for term, _ in top.block("Commands")]
    out = ['.TH %s 1 "%s" "%s %s" "User Commands"' %
           (name.upper(), build_date(), roff(name), roff(version)),
           ".SH NAME", "%s \\- %s" % (roff(name), roff(top.summary())),
           # Synopsis lines are broken between words only, never inside one.
           ".SH SYNOPSIS", ".nh", ".ad l", synopsis(top.usage)]
    for command in commands:
        out += [".br", synopsis(Help(run_help(program, [command])).usage)]
    out += [".ad", ".hy", ".SH DESCRIPTION", paragraphs(top.paragraphs)]
    for heading, items in top.blocks:
        out.append(".SH %s" % roff(heading.upper()))
        if heading == "Commands":
            out += [command_section(program, c) for c in commands]
        else:
            out.append(entries(items))
    for section, body in read_extra(extra_path):
        out += [".SH %s" % section, body]
    return "\n".join(out) + "\n"


def main():
    if len(sys.argv) != 5:
        sys.exit("usage: make-man.py PROGRAM VERSION EXTRA OUTPUT")
    program, version, extra, output = sys.argv[1:]
    page = manual_page(program, version, extra)
    with open(output, "w", encoding="utf-8") as f:
        f.write(page)


if __name__ == "__main__":
    main()
