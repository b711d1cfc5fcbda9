#!/usr/bin/env python3
"""Renders the page's icons from resources/brumelo.svg with rsvg-convert:

    tools/web_icons.py SVG OUTDIR

icon-192.png and icon-512.png as drawn (the pane with its rounded corners), and, for launchers
that cut their own shape (maskable) or fill the corners black (apple-touch-icon), the pane
shrunk into the middle of a square of the sky's darkest colour.
"""

import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

SVG_NS = 'http://www.w3.org/2000/svg'
BACKDROP = '#26305e'


def render(svg, size, out):
    subprocess.run(['rsvg-convert', '-w', str(size), '-h', str(size), '-o', out, svg], check=True)


def on_backdrop(svg, out):
    """The drawing at 80 % of a full square: launchers keep the middle 80 % of a maskable icon."""
    ET.register_namespace('', SVG_NS)
    inner = ET.parse(svg).getroot()
    size = float(inner.get('width'))
    margin = size / 8
    outer = ET.Element('{%s}svg' % SVG_NS, width=str(size + 2 * margin),
                       height=str(size + 2 * margin))
    ET.SubElement(outer, '{%s}rect' % SVG_NS, width='100%', height='100%', fill=BACKDROP)
    inner.set('x', str(margin))
    inner.set('y', str(margin))
    outer.append(inner)
    ET.ElementTree(outer).write(out)


def main():
    svg, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    render(svg, 192, os.path.join(out, 'icon-192.png'))
    render(svg, 512, os.path.join(out, 'icon-512.png'))
    with tempfile.TemporaryDirectory() as work:
        square = os.path.join(work, 'square.svg')
        on_backdrop(svg, square)
        render(square, 512, os.path.join(out, 'icon-maskable-512.png'))
        render(square, 180, os.path.join(out, 'apple-touch-icon.png'))


if __name__ == '__main__':
    main()
