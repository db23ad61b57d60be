#!/usr/bin/env python3
"""Writes the installer's list of files (a WiX fragment) for a staged installation folder.

usage: files_wxs.py FOLDER SOURCE > files.wxs

Every file under FOLDER becomes a component of its own, in the folders it lies in below
INSTALLDIR, all in the component group InstalledFiles. Identifiers are made from the file's path,
and the components' GUIDs ("*") from their key paths, so that the same file keeps its identity
from one version to the next and an upgrade replaces it in place. wixl takes no absolute source
paths: each file is named as SOURCE/<its path below FOLDER>, SOURCE being where wixl runs.
"""
import hashlib
import os
import sys
from xml.sax.saxutils import quoteattr


def ident(prefix, relative):
    # Windows Installer identifiers: letters, digits, '_' and '.', 72 characters at most.
    return prefix + hashlib.sha1(relative.encode("utf-8")).hexdigest()[:32]


def main():
    if len(sys.argv) != 3 or not os.path.isdir(sys.argv[1]):
        sys.exit("usage: files_wxs.py FOLDER SOURCE > files.wxs")
    root = os.path.abspath(sys.argv[1])
    source = sys.argv[2]
    components = []
    out = ['<?xml version="1.0" encoding="utf-8"?>',
           '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">',
           '  <Fragment>',
           '    <DirectoryRef Id="INSTALLDIR">']

    def walk(folder, depth):
        indent = "  " * (depth + 3)
        entries = sorted(os.listdir(folder))
        for name in entries:
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, root).replace(os.sep, "/")
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            component = ident("c", relative)
            components.append(component)
            out.append(f'{indent}<Component Id="{component}" Guid="*" Win64="yes">')
            out.append(f'{indent}  <File Id="{ident("f", relative)}" Name={quoteattr(name)} '
                       f'Source={quoteattr(source + "/" + relative)} KeyPath="yes"/>')
            out.append(f'{indent}</Component>')
        for name in entries:
            path = os.path.join(folder, name)
            if os.path.isdir(path) and not os.path.islink(path):
                relative = os.path.relpath(path, root).replace(os.sep, "/")
                out.append(f'{indent}<Directory Id="{ident("d", relative)}" Name={quoteattr(name)}>')
                walk(path, depth + 1)
                out.append(f'{indent}</Directory>')

    walk(root, 0)
    if not components:
        sys.exit(f"files_wxs.py: {root} holds no file to install")
    out += ['    </DirectoryRef>', '  </Fragment>', '  <Fragment>',
            '    <ComponentGroup Id="InstalledFiles">']
    out += [f'      <ComponentRef Id="{c}"/>' for c in components]
    out += ['    </ComponentGroup>', '  </Fragment>', '</Wix>']
    print("\n".join(out))


if __name__ == "__main__":
    main()
