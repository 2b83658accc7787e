#!/usr/bin/env python3
"""Writes rich-link-payload.bplist: a rich-link payload as the Messages database keeps it in
payload_data, made with Python's own binary property-list writer (plistlib) so that the reader is
checked against bytes that libplist did not write. Run once; the output is committed."""

import pathlib
import plistlib
from plistlib import UID

objects = ["$null"]


def add(value):
    objects.append(value)
    return UID(len(objects) - 1)


def add_class(name, *superclasses):
    return add({"$classname": name, "$classes": [name, *superclasses, "NSObject"]})


root = add({})
metadata = add({})
url_class = add_class("NSURL")
url = add({"$class": url_class, "NS.base": UID(0), "NS.relative": add("https://www.example.org/tides/2024?ref=share")})
original = add({"$class": url_class, "NS.base": UID(0), "NS.relative": add("https://example.org/t/42")})
image = add({"richLinkImageAttachmentSubstituteIndex": 0})
image_metadata = add({"size": "{1200, 630}", "URL": UID(0)})
icon = add({"richLinkImageAttachmentSubstituteIndex": 1})

objects[image.data]["$class"] = add_class("RichLinkImageAttachmentSubstitute")
objects[icon.data]["$class"] = objects[image.data]["$class"]
objects[image_metadata.data]["$class"] = add_class("LPImageMetadata")
objects[metadata.data] = {
    "$class": add_class("LPLinkMetadata"),
    "version": 1,
    "URL": url,
    "originalURL": original,
    "title": add("  Tides \u2014 a long read \U0001F30A\n"),
    "summary": add("What the moon does to the sea."),
    "siteName": add("Example"),
    "image": image,
    "imageMetadata": image_metadata,
    "icon": icon,
}
objects[root.data] = {
    "$class": add_class("RichLink"),
    "richLinkMetadata": metadata,
    "richLinkIsPlaceholder": False,
}

archive = {
    "$version": 100000,
    "$archiver": "NSKeyedArchiver",
    "$top": {"root": root},
    "$objects": objects,
}
target = pathlib.Path(__file__).with_name("rich-link-payload.bplist")
target.write_bytes(plistlib.dumps(archive, fmt=plistlib.FMT_BINARY, sort_keys=False))
