#!/usr/bin/env python3
"""Makes the game's one-file page: the page template with the page script,
the module's loader and code, and the design's files inside it as data: URLs.
The bundled fonts are cut down to the characters the game can show and
turned into WOFF2 by fontTools' pyftsubset."""

import argparse
import base64
import gzip
import json
import pathlib
import re
import subprocess
import sys
import tempfile

MIME = {'.gif': 'image/gif', '.ico': 'image/x-icon', '.ttf': 'font/woff2', '.otf': 'font/woff2'}
# What numbers in captions are written with, beyond the texts themselves.
NUMBER_CHARACTERS = '0123456789-+.e'


def shown_text(text_files, template):
    """Every character of the string literals in the given sources, and the
    page's own visible text."""
    chars = set(NUMBER_CHARACTERS)
    literal = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
    for path in text_files:
        for match in literal.finditer(pathlib.Path(path).read_text(encoding='utf-8')):
            chars.update(match.group(1))
    body = re.sub(r'<(script|style)\b.*?</\1>|<!--.*?-->|<[^>]*>', ' ', template, flags=re.S)
    chars.update(body)
    return ''.join(sorted(c for c in chars if c.isprintable()))


def font_woff2(pyftsubset, path, text, hinting):
    with tempfile.TemporaryDirectory() as work:
        out = pathlib.Path(work) / 'font.woff2'
        command = [pyftsubset, str(path), '--text=' + text, '--flavor=woff2', '--output-file=' + str(out)]
        if not hinting:
            command.append('--no-hinting')
        subprocess.run(command, check=True)
        return out.read_bytes()


def without_comments(script):
    """The script without its // comments: they are for whoever reads
    page.js, and the page has bytes to spare for nothing else. A comment
    after code goes only where the code before it holds no quote, template
    or slash, which could start a string or a pattern that the "//" is in."""
    out = []
    for line in script.splitlines(keepends=True):
        if line.lstrip().startswith('//'):
            continue
        code, mark, _ = line.partition(' // ')
        if mark and not any(c in code for c in '\'"`/'):
            line = code.rstrip() + '\n'
        out.append(line)
    return ''.join(out)


def data_url(mime, data):
    return 'data:%s;base64,%s' % (mime, base64.b64encode(data).decode('ascii'))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument('--pyftsubset', default='pyftsubset')
    parser.add_argument('--template', required=True)
    parser.add_argument('--script', required=True, help='the page script')
    parser.add_argument('--module-script', required=True, help="emscripten's loader")
    parser.add_argument('--module', required=True, help='the WebAssembly code')
    parser.add_argument('--resource', action='append', default=[], metavar='PATH=FILE',
                        help="a design file by its resource path, e.g. ':/pictures/facade.gif=window/pictures/facade.gif'")
    parser.add_argument('--text-from', action='append', default=[], metavar='SOURCE',
                        help='a source whose string literals the game may show')
    parser.add_argument('--hinting', action='store_true', help='keep the fonts\' hinting')
    parser.add_argument('--output', required=True)
    args = parser.parse_args()

    template = pathlib.Path(args.template).read_text(encoding='utf-8')
    text = shown_text(args.text_from, template)
    resources = {}
    for item in args.resource:
        name, _, file = item.partition('=')
        file = pathlib.Path(file)
        mime = MIME[file.suffix.lower()]
        data = font_woff2(args.pyftsubset, file, text, args.hinting) if mime == 'font/woff2' else file.read_bytes()
        resources[name] = data_url(mime, data)

    script = without_comments(pathlib.Path(args.script).read_text(encoding='utf-8'))
    script = script.replace('__SKEETRA_RESOURCES__', json.dumps(resources, indent=1))
    # Gzipped, the module takes little more than half the room in the page.
    module = gzip.compress(pathlib.Path(args.module).read_bytes(), 9, mtime=0)
    script = script.replace('__SKEETRA_WASM__', base64.b64encode(module).decode('ascii'))
    loader = pathlib.Path(args.module_script).read_text(encoding='utf-8')
    for name, code in (('page script', script), ('module loader', loader)):
        if '</script' in code.lower():
            sys.exit('make_page.py: the %s holds "</script", which would end its element early' % name)
    page = template.replace('__SKEETRA_MODULE_SCRIPT__', loader.strip())
    page = page.replace('__SKEETRA_PAGE_SCRIPT__', script.strip())
    pathlib.Path(args.output).write_text(page, encoding='utf-8')


if __name__ == '__main__':
    main()
