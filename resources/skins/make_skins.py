#!/usr/bin/env python3
"""Writes the three skin data blocks the program carries (skin1.she, skin2.she, skin3.she).

The format is the one the program's skin library reads (decor/skin/skin_format.h):
".SHE", u16 version, u16 record count, u32 block size, u32 FNV-1a of the bytes after the
16-byte header, then records (u16 tag, u16 length, payload). Run it after changing a look;
the generated files are committed.

Every captioned window of the program keeps its caption drawn active while it is inactive, so
the carried skins give the inactive slots the active colours (the library would show the
difference for a skin that makes one).
"""
import pathlib
import struct
import sys

COLOUR_SLOTS = [
    "caption", "caption_inactive", "title", "title_inactive",
    "frame", "frame_inactive", "outline", "outline_inactive",
    "glyph", "glyph_inactive", "button_hover", "button_pressed",
    "close_hover", "close_pressed", "close_glyph_hover", "caption_bottom",
    "caption_inactive_bottom",
]
NO_COLOUR = 0xFFFFFFFF

SKINS = {
    # Type 1: a quiet light caption with dark text.
    1: dict(
        name="素雅",
        colours=dict(
            caption="#F3F6FA", caption_inactive="#F3F6FA",
            title="#1F2937", title_inactive="#1F2937",
            frame="#F3F6FA", frame_inactive="#F3F6FA",
            outline="#8F9BAD", outline_inactive="#8F9BAD",
            glyph="#374151", glyph_inactive="#374151",
            button_hover="#E1E6EE", button_pressed="#CBD2DD",
            close_hover="#E81123", close_pressed="#B00F1C", close_glyph_hover="#FFFFFF",
            caption_bottom=None, caption_inactive_bottom=None),
        font=(-13, 400, "微软雅黑"),
        metrics=(34, 10, 0, 8)),
    # Type 2: the program's own blue, the look it starts with.
    2: dict(
        name="湛蓝",
        colours=dict(
            caption="#1A94FF", caption_inactive="#1A94FF",
            title="#FFFFFF", title_inactive="#FFFFFF",
            frame="#0088FF", frame_inactive="#0088FF",
            outline="#006AD1", outline_inactive="#006AD1",
            glyph="#FFFFFF", glyph_inactive="#FFFFFF",
            button_hover="#45A8FF", button_pressed="#0072D9",
            close_hover="#E81123", close_pressed="#B00F1C", close_glyph_hover="#FFFFFF",
            caption_bottom="#0088FF", caption_inactive_bottom="#0088FF"),
        font=(-13, 700, "微软雅黑"),
        metrics=(34, 10, 0, 8)),
    # Type 3: a dark graphite caption with a centred title.
    3: dict(
        name="墨夜",
        colours=dict(
            caption="#3C4149", caption_inactive="#3C4149",
            title="#F2F2F2", title_inactive="#F2F2F2",
            frame="#2C3037", frame_inactive="#2C3037",
            outline="#17191C", outline_inactive="#17191C",
            glyph="#E8E8E8", glyph_inactive="#E8E8E8",
            button_hover="#545A63", button_pressed="#24272C",
            close_hover="#E81123", close_pressed="#B00F1C", close_glyph_hover="#FFFFFF",
            caption_bottom="#2C3037", caption_inactive_bottom="#2C3037"),
        font=(-13, 400, "微软雅黑"),
        metrics=(34, 10, 1, 8)),
}


def colour_ref(text):
    if text is None:
        return NO_COLOUR
    r, g, b = (int(text[i:i + 2], 16) for i in (1, 3, 5))
    return r | (g << 8) | (b << 16)


def fnv1a(data):
    h = 2166136261
    for byte in data:
        h = ((h ^ byte) * 16777619) & 0xFFFFFFFF
    return h


def record(tag, payload):
    return struct.pack("<HH", tag, len(payload)) + payload


def build(skin):
    colours = b"".join(struct.pack("<I", colour_ref(skin["colours"][slot]))
                       for slot in COLOUR_SLOTS)
    height, weight, face = skin["font"]
    records = [
        record(4, skin["name"].encode("utf-16-le")),
        record(1, colours),
        record(2, struct.pack("<hH", height, weight) + face.encode("utf-16-le")),
        record(3, bytes(skin["metrics"])),
    ]
    body = b"".join(records)
    total = 16 + len(body)
    return b".SHE" + struct.pack("<HHII", 1, len(records), total, fnv1a(body)) + body


def main():
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).parent
    for number, skin in SKINS.items():
        (out / f"skin{number}.she").write_bytes(build(skin))


if __name__ == "__main__":
    main()
