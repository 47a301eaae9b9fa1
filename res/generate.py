#!/usr/bin/python3
"""Draws Nandell's artwork and writes it under res/, one file per resource id.

    /usr/bin/python3 res/generate.py        (needs python3-pil and fonts-wqy-microhei)

bmp/129.png  main window skin, 622 x 416, RGB
bmp/144.png  About box skin, 360 x 200, RGB
bmp/146.png  options window skin, 460 x 714, RGB
bmp/149.png  preview window skin, 760 x 540, RGB
bmp/150.png  history window skin, 680 x 420, RGB
png/<id>.png button strips (four slices: normal, hover, pressed, greyed), RGBA
icon/128.png application icon, 64 x 64, RGBA
hicolor/<n>x<n>/apps/nandell.png  the same icon for the desktop's icon theme, at 48, 64, 128
             and 256 px (installed under share/icons/hicolor/)
cursor/143.png link cursor, 32 x 32, RGBA, hot spot (12, 1)
en/...       the English drawings of the artwork that carries text (the main window's skin, the
             three big buttons, OK, Cancel, Organize (151) and Undo (152) of the preview and
             history windows), under the same names; the program uses them
             while English is its language

The texts drawn are the designed Chinese ones and their English translations in TEXTS.

Shapes are drawn at four times their size and scaled down (smooth edges); text is drawn at
its final size so it stays crisp.
"""
import os
from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
CJK_FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
SS = 4  # supersampling factor for shapes

# The palette: one family of blues, plus red for the two "stop/close" meanings.
NAVY = (11, 46, 89)
NAVY_2 = (16, 64, 122)
BLUE = (30, 110, 215)
BLUE_DARK = (20, 80, 170)
BLUE_LIGHT = (74, 154, 245)
SKY = (79, 195, 247)
ICE = (243, 248, 254)
ICE_2 = (214, 232, 251)
PANEL = (255, 255, 255)
PANEL_EDGE = (176, 208, 240)
TEXT_TEAL = (31, 107, 129)
WHITE = (255, 255, 255)
GREY = (160, 174, 184)
GREY_DARK = (120, 134, 146)
RED = (224, 71, 76)


def font(size):
    return ImageFont.truetype(CJK_FONT, size)


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def vgradient(w, h, top, bottom, mode="RGBA"):
    img = Image.new(mode, (w, h))
    d = ImageDraw.Draw(img)
    for y in range(h):
        c = lerp(top, bottom, y / max(1, h - 1))
        d.line([(0, y), (w, y)], fill=c)
    return img


def rounded_mask(w, h, box, radius, unit=SS):
    """An L mask of a rounded rectangle, drawn supersampled and scaled down. `box` and
    `radius` count in units of `unit` supersampled pixels (by default one output pixel)."""
    big = Image.new("L", (w * SS, h * SS), 0)
    x0, y0, x1, y1 = box
    ImageDraw.Draw(big).rounded_rectangle(
        [x0 * unit, y0 * unit, x1 * unit - 1, y1 * unit - 1], radius * unit, fill=255)
    return big.resize((w, h), Image.LANCZOS)


def paste_fill(img, mask, fill):
    """Composites a colour (RGB or RGBA) or an image through `mask` onto img (RGBA)."""
    if isinstance(fill, tuple):
        rgba = fill if len(fill) == 4 else fill + (255,)
        layer = Image.new("RGBA", img.size, rgba[:3] + (255,))
        alpha = ImageChops.multiply(mask, Image.new("L", img.size, rgba[3]))
    else:
        layer = fill.convert("RGBA")
        alpha = ImageChops.multiply(mask, layer.getchannel("A"))
    layer.putalpha(alpha)
    img.alpha_composite(layer)


def ss_draw(w, h):
    """A transparent supersampled canvas and its drawer."""
    big = Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))
    return big, ImageDraw.Draw(big)


def ss_done(big, w, h):
    return big.resize((w, h), Image.LANCZOS)


def strip(faces):
    w, h = faces[0].size
    out = Image.new("RGBA", (w * 4, h), (0, 0, 0, 0))
    for i, f in enumerate(faces):
        out.paste(f, (i * w, 0))
    return out


def text_center(draw, box, text, fnt, fill, stroke=0):
    x0, y0, x1, y1 = box
    l, t, r, b = draw.textbbox((0, 0), text, font=fnt, stroke_width=stroke)
    x = x0 + (x1 - x0 - (r - l)) / 2 - l
    y = y0 + (y1 - y0 - (b - t)) / 2 - t
    draw.text((round(x), round(y)), text, font=fnt, fill=fill, stroke_width=stroke,
              stroke_fill=fill)


# ---------------------------------------------------------------- large buttons

BIG_STATES = {
    # top, bottom, border, text, content shift
    "normal": ((52, 132, 235), (24, 92, 196), (18, 70, 160), WHITE, 0),
    "hover": ((92, 170, 250), (44, 122, 222), (170, 220, 255), WHITE, 0),
    "pressed": ((22, 78, 165), (14, 56, 128), (10, 44, 104), (225, 238, 255), 1),
    "greyed": ((196, 206, 214), (168, 180, 190), (150, 162, 172), (240, 243, 245), 0),
}


def glyph_folder(d, x, y, s, color, extra):
    """A folder outline at (x, y), s pixels wide, drawn on a supersampled canvas."""
    lw = max(2, s // 14)
    tab = [(x, y + s * 0.18), (x + s * 0.36, y + s * 0.18), (x + s * 0.46, y + s * 0.30)]
    d.line(tab, fill=color, width=lw, joint="curve")
    d.rounded_rectangle([x, y + s * 0.30, x + s, y + s * 0.92], s * 0.08, outline=color,
                        width=lw)
    cx, cy = x + s * 0.5, y + s * 0.62
    if extra == "photo":
        # a small mountain and sun inside
        d.polygon([(cx - s * 0.28, cy + s * 0.2), (cx - s * 0.08, cy - s * 0.06),
                   (cx + s * 0.06, cy + s * 0.1), (cx + s * 0.14, cy + s * 0.02),
                   (cx + s * 0.3, cy + s * 0.2)], fill=color)
        r = s * 0.06
        d.ellipse([cx + s * 0.14 - r, cy - s * 0.16 - r, cx + s * 0.14 + r, cy - s * 0.16 + r],
                  fill=color)
    elif extra == "out":
        # an arrow into the folder
        d.line([(cx, cy - s * 0.18), (cx, cy + s * 0.16)], fill=color, width=lw)
        d.line([(cx - s * 0.13, cy + s * 0.03), (cx, cy + s * 0.17), (cx + s * 0.13,
                cy + s * 0.03)], fill=color, width=lw, joint="curve")


def glyph_calendar(d, x, y, s, color):
    lw = max(2, s // 14)
    d.rounded_rectangle([x, y + s * 0.14, x + s, y + s * 0.94], s * 0.1, outline=color, width=lw)
    d.rectangle([x, y + s * 0.14, x + s, y + s * 0.34], fill=color)
    for fx in (0.28, 0.72):
        d.line([(x + s * fx, y + s * 0.02), (x + s * fx, y + s * 0.22)], fill=color, width=lw)
    # a tick: sorted
    d.line([(x + s * 0.28, y + s * 0.62), (x + s * 0.45, y + s * 0.78), (x + s * 0.74,
            y + s * 0.47)], fill=color, width=lw, joint="curve")


def big_face(label, glyph, state):
    w, h = 155, 52
    top, bottom, border, text_color, shift = BIG_STATES[state]
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    # soft shadow under the button (none when pressed)
    if state != "pressed":
        shadow = Image.new("RGBA", (w, h), (0, 0, 0, 0))
        m = rounded_mask(w, h, (3, 5, w - 3, h - 1), 10)
        sh = Image.new("RGBA", (w, h), (8, 40, 90, 90))
        sh.putalpha(ImageChops.multiply(m, Image.new("L", (w, h), 90)))
        shadow.alpha_composite(sh)
        img.alpha_composite(shadow.filter(ImageFilter.GaussianBlur(1.5)))
    body = (2, 1 + shift, w - 2, h - 4 + shift)
    paste_fill(img, rounded_mask(w, h, body, 10), vgradient(w, h, top, bottom))
    # border ring
    outer = rounded_mask(w, h, body, 10)
    inner = rounded_mask(w, h, (body[0] + 1, body[1] + 1, body[2] - 1, body[3] - 1), 9)
    paste_fill(img, ImageChops.subtract(outer, inner), border)
    # glossy top half
    gloss = rounded_mask(w, h, (body[0] + 2, body[1] + 2, body[2] - 2, body[1] + 20), 8)
    g = Image.new("RGBA", (w, h), (255, 255, 255, 0))
    g.putalpha(ImageChops.multiply(gloss, Image.new("L", (w, h), 40 if state != "pressed" else 14)))
    img.alpha_composite(g)
    # glyph, supersampled
    big, d = ss_draw(w, h)
    gs = 26 * SS
    gx, gy = 16 * SS, (body[1] + (body[3] - body[1] - 26) / 2) * SS
    if glyph == "calendar":
        glyph_calendar(d, gx, gy, gs, text_color + (255,))
    else:
        glyph_folder(d, gx, gy, gs, text_color + (255,), glyph)
    img.alpha_composite(ss_done(big, w, h))
    # label at its final size
    d = ImageDraw.Draw(img)
    text_center(d, (46, body[1], w - 8, body[3]), label, font(19), text_color + (255,))
    return img


# ---------------------------------------------------------------- small buttons

def close_face(state, w=38, h=34, cross=11, radius=6):
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    bg = {"normal": None, "hover": (232, 72, 80, 235), "pressed": (176, 40, 48, 245),
          "greyed": None}[state]
    if bg:
        paste_fill(img, rounded_mask(w, h, (2, 2, w - 2, h - 2), radius), bg)
    color = {"greyed": (170, 184, 196, 255)}.get(state, (255, 255, 255, 255))
    big, d = ss_draw(w, h)
    cx, cy, r = w / 2 * SS, h / 2 * SS, cross / 2 * SS
    lw = int(2 * SS)
    d.line([(cx - r, cy - r), (cx + r, cy + r)], fill=color, width=lw)
    d.line([(cx - r, cy + r), (cx + r, cy - r)], fill=color, width=lw)
    img.alpha_composite(ss_done(big, w, h))
    return img


def minimize_face(state, w=38, h=34):
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    bg = {"normal": None, "hover": (255, 255, 255, 60), "pressed": (0, 0, 0, 70),
          "greyed": None}[state]
    if bg:
        paste_fill(img, rounded_mask(w, h, (2, 2, w - 2, h - 2), 6), bg)
    color = {"greyed": (170, 184, 196, 255)}.get(state, (255, 255, 255, 255))
    big, d = ss_draw(w, h)
    d.line([((w / 2 - 6) * SS, (h / 2 + 1) * SS), ((w / 2 + 6) * SS, (h / 2 + 1) * SS)],
           fill=color, width=2 * SS)
    img.alpha_composite(ss_done(big, w, h))
    return img


SMALL_COLORS = {"normal": (255, 255, 255, 235), "hover": (150, 225, 255, 255),
                "pressed": (110, 180, 235, 255), "greyed": (150, 165, 178, 255)}


def gear_face(state):
    import math
    w = h = 16
    big, d = ss_draw(w, h)
    c = SMALL_COLORS[state]
    cx = cy = 8 * SS + (SS // 2 if state == "pressed" else 0)
    teeth = []
    for i in range(16):
        a = i * math.pi / 8
        r = (7.4 if i % 2 == 0 else 5.6) * SS
        for da in (-0.16, 0.16):
            teeth.append((cx + r * math.cos(a + da), cy + r * math.sin(a + da)))
    d.polygon(teeth, fill=c)
    r = 2.4 * SS
    d.ellipse([cx - r, cy - r, cx + r, cy + r], fill=(0, 0, 0, 0))
    return ss_done(big, w, h)


def bubble_face(state):
    w = h = 16
    big, d = ss_draw(w, h)
    c = SMALL_COLORS[state]
    o = SS // 2 if state == "pressed" else 0
    d.rounded_rectangle([1 * SS + o, 1 * SS + o, 15 * SS + o, 11.5 * SS + o], 3 * SS, fill=c)
    d.polygon([(4 * SS + o, 11 * SS + o), (4 * SS + o, 15 * SS + o), (8 * SS + o, 11 * SS + o)],
              fill=c)
    # an "i" cut out of the bubble
    clear = (0, 0, 0, 0)
    d.ellipse([7.1 * SS + o, 2.6 * SS + o, 8.9 * SS + o, 4.4 * SS + o], fill=clear)
    d.rectangle([7.2 * SS + o, 5.4 * SS + o, 8.8 * SS + o, 9.8 * SS + o], fill=clear)
    return ss_done(big, w, h)


def stop_face(state):
    w = h = 24
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    fill = {"normal": RED, "hover": (244, 108, 112), "pressed": (170, 40, 46),
            "greyed": GREY}[state]
    big, d = ss_draw(w, h)
    o = SS // 2 if state == "pressed" else 0
    d.ellipse([1 * SS + o, 1 * SS + o, 23 * SS - 1 + o, 23 * SS - 1 + o], fill=fill + (255,),
              outline=(255, 255, 255, 230), width=int(1.5 * SS))
    d.rounded_rectangle([8 * SS + o, 8 * SS + o, 16 * SS + o, 16 * SS + o], 1 * SS,
                        fill=(255, 255, 255, 255))
    img.alpha_composite(ss_done(big, w, h))
    return img


def about_close_face(state):
    w = h = 16
    big, d = ss_draw(w, h)
    ring = {"normal": (255, 255, 255, 70), "hover": (255, 255, 255, 255),
            "pressed": (200, 225, 255, 255), "greyed": (160, 170, 180, 120)}[state]
    cross = {"normal": (255, 255, 255, 255), "hover": BLUE + (255,),
             "pressed": BLUE_DARK + (255,), "greyed": (220, 225, 230, 255)}[state]
    d.ellipse([0, 0, 16 * SS - 1, 16 * SS - 1], fill=ring)
    r = 3.6 * SS
    c = 8 * SS
    d.line([(c - r, c - r), (c + r, c + r)], fill=cross, width=int(1.8 * SS))
    d.line([(c - r, c + r), (c + r, c - r)], fill=cross, width=int(1.8 * SS))
    return ss_done(big, w, h)


def text_button_face(label, state, primary):
    """A small rounded button with its label: 确定 (primary, blue) or 取消 (light)."""
    w, h = 84, 30
    if primary:
        top, bottom, border, text_color, shift = BIG_STATES[state]
    else:
        top, bottom, border, text_color, shift = {
            "normal": ((255, 255, 255), (226, 238, 250), PANEL_EDGE, TEXT_TEAL, 0),
            "hover": ((255, 255, 255), (238, 246, 255), BLUE_LIGHT, BLUE_DARK, 0),
            "pressed": ((206, 224, 244), (190, 212, 238), BLUE_DARK, NAVY, 1),
            "greyed": ((236, 240, 244), (222, 228, 234), (196, 206, 214), GREY, 0),
        }[state]
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    body = (1, 1 + shift, w - 1, h - 2 + shift)
    paste_fill(img, rounded_mask(w, h, body, 7), vgradient(w, h, top, bottom))
    outer = rounded_mask(w, h, body, 7)
    inner = rounded_mask(w, h, (body[0] + 1, body[1] + 1, body[2] - 1, body[3] - 1), 6)
    paste_fill(img, ImageChops.subtract(outer, inner), border)
    d = ImageDraw.Draw(img)
    text_center(d, (0, body[1], w, body[3]), label, font(14), text_color + (255,))
    return img


# ---------------------------------------------------------------- skins

def main_skin(texts):
    W, H = 622, 416
    img = vgradient(W, H, ICE, ICE_2)
    d = ImageDraw.Draw(img)
    # title band
    img.alpha_composite(vgradient(W, 40, NAVY_2, NAVY), (0, 0))
    d.rectangle([0, 40, W, 41], fill=SKY + (255,))
    d.text((16, 5), "Nandell", font=font(22), fill=WHITE)
    d.text((112, 14), texts["subtitle"], font=font(12), fill=(170, 210, 250))
    # footer band
    img.alpha_composite(vgradient(W, H - 382, NAVY_2, NAVY), (0, 382))
    d.rectangle([0, 382, W, 382], fill=SKY + (255,))
    # a light chip behind the check box, so its dark text reads; as wide as its label
    paste_fill(img, rounded_mask(W, H, (84, 387, texts["chip_right"], 413), 6), ICE + (255,))
    # panels behind the three text fields (x 252..563)
    for (y0, y1) in ((91, 143), (183, 235), (274, 378)):
        box = (244, y0 - 2, 570, y1 + 2)
        shadow = Image.new("RGBA", (W, H), (0, 0, 0, 0))
        sm = rounded_mask(W, H, (box[0], box[1] + 2, box[2], box[3] + 2), 8)
        sl = Image.new("RGBA", (W, H), (20, 70, 140, 0))
        sl.putalpha(ImageChops.multiply(sm, Image.new("L", (W, H), 50)))
        img.alpha_composite(sl.filter(ImageFilter.GaussianBlur(2)))
        paste_fill(img, rounded_mask(W, H, box, 8), PANEL_EDGE + (255,))
        paste_fill(img, rounded_mask(W, H, (box[0] + 1, box[1] + 1, box[2] - 1, box[3] - 1), 7),
                   PANEL + (255,))
    # step badges 1-2-3 in the left margin, joined by a dotted line
    big, bd = ss_draw(W, H)
    cx = 44
    for y in range(120, 300, 6):
        bd.ellipse([(cx - 1) * SS, y * SS, (cx + 1) * SS, (y + 2) * SS], fill=(150, 190, 235, 255))
    for n, cy in enumerate((117, 209, 300), start=1):
        r = 15
        bd.ellipse([(cx - r) * SS, (cy - r) * SS, (cx + r) * SS, (cy + r) * SS],
                   fill=BLUE + (255,), outline=WHITE + (255,), width=3 * SS)
    img.alpha_composite(ss_done(big, W, H))
    d = ImageDraw.Draw(img)
    for n, cy in enumerate((117, 209, 300), start=1):
        text_center(d, (cx - 15, cy - 15, cx + 15, cy + 15), str(n), font(16), WHITE)
    return img.convert("RGB")


def about_skin():
    W, H = 360, 200
    img = vgradient(W, H, (36, 120, 222), (14, 66, 150))
    # a faint photo-stack drawing in the top right corner, clear of the text lines
    big, d = ss_draw(W, H)
    ox, oy = 0, -78
    for i, a in enumerate((30, 48)):
        x0, y0 = (296 - i * 10 + ox), (112 + i * 9 + oy)
        d.rounded_rectangle([x0 * SS, y0 * SS, (x0 + 54) * SS, (y0 + 42) * SS], 5 * SS,
                            outline=(255, 255, 255, a), width=2 * SS)
    d.polygon([((290 + ox) * SS, (160 + oy) * SS), ((304 + ox) * SS, (141 + oy) * SS),
               ((313 + ox) * SS, (152 + oy) * SS), ((320 + ox) * SS, (145 + oy) * SS),
               ((336 + ox) * SS, (160 + oy) * SS)], fill=(255, 255, 255, 48))
    d.ellipse([(321 + ox) * SS, (128 + oy) * SS, (328 + ox) * SS, (135 + oy) * SS],
              fill=(255, 255, 255, 48))
    # darker title band at the top left, ending in a rounded edge
    d.rounded_rectangle([-20 * SS, -20 * SS, 200 * SS, 28 * SS], 14 * SS, fill=NAVY + (235,))
    img.alpha_composite(ss_done(big, W, H))
    dd = ImageDraw.Draw(img)
    dd.line([(0, 199), (360, 199)], fill=(8, 40, 96))
    return img.convert("RGB")


def options_skin():
    """The options window: the main window's light body under the About box's dark title band,
    with two faint rules between the groups of settings."""
    return panel_skin(460, 714, rules=(188, 226))


def panel_skin(W, H, rules=()):
    """A skinned window beside the main one (options, preview, history): the main window's light
    body under the About box's dark title band, faint rules at the heights `rules` and above the
    buttons at the bottom."""
    img = vgradient(W, H, ICE, ICE_2)
    big, d = ss_draw(W, H)
    d.rounded_rectangle([-20 * SS, -20 * SS, (W + 20) * SS, 30 * SS], 10 * SS, fill=NAVY + (255,))
    img.alpha_composite(ss_done(big, W, H))
    d = ImageDraw.Draw(img)
    d.rectangle([0, 30, W, 31], fill=SKY + (255,))
    for y in rules:
        d.line([(20, y), (W - 20, y)], fill=PANEL_EDGE + (255,))
    d.line([(20, H - 50), (W - 20, H - 50)], fill=PANEL_EDGE + (255,))
    d.rectangle([0, H - 1, W, H - 1], fill=NAVY + (255,))
    return img.convert("RGB")


# The sizes of the icon in the desktop's icon theme; 64 is the window's own icon.
ICON_SIZES = (48, 64, 128, 256)


def app_icon(size=64):
    """The application icon, drawn on a 64-unit grid scaled to `size` pixels (a multiple of
    16, so that every coordinate stays a whole supersampled pixel)."""
    w = h = size
    s = SS * size // 64  # supersampled pixels per grid unit
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    paste_fill(img, rounded_mask(w, h, (2, 2, 62, 62), 13, s),
               vgradient(w, h, BLUE_LIGHT, BLUE_DARK))
    big, d = ss_draw(w, h)
    # a photo card with mountain and sun
    d.rounded_rectangle([13 * s, 18 * s, 51 * s, 48 * s], 4 * s, fill=(255, 255, 255, 255))
    d.polygon([(16 * s, 45 * s), (27 * s, 30 * s), (34 * s, 38 * s), (39 * s, 33 * s),
               (48 * s, 45 * s)], fill=BLUE + (255,))
    d.ellipse([38 * s, 22 * s, 45 * s, 29 * s], fill=(255, 190, 60, 255))
    # calendar tab
    d.rounded_rectangle([36 * s, 40 * s, 56 * s, 58 * s], 3 * s, fill=NAVY + (255,),
                        outline=(255, 255, 255, 255), width=2 * s)
    d.rectangle([37 * s, 41 * s, 55 * s, 45 * s], fill=SKY + (255,))
    img.alpha_composite(ss_done(big, w, h))
    return img


def hand_cursor():
    """A 32 x 32 pointing hand with its cuff; the fingertip is at (12, 1)."""
    w = h = 32
    s = SS
    big, d = ss_draw(w, h)
    # outline first (black, thicker), then white fill: index finger up, three folded fingers,
    # thumb on the left, cuff at the bottom.
    finger = [(10.5, 1), (13.5, 1), (14.5, 3), (14.5, 12)]
    shape = [(10.2, 2.2), (11, 0.8), (13, 0.8), (13.9, 2.2), (13.9, 11), (16, 10.4), (18, 11.2),
             (18.6, 11.6), (20.6, 11.2), (22.6, 12.4), (23.2, 13), (25.2, 13), (27, 14.6),
             (27, 21), (25.6, 25.5), (24.6, 27.5), (13.2, 27.5), (12.2, 25),
             (7.2, 19.5), (5.6, 17.2), (5.8, 15.4), (7.4, 14.8), (10.2, 17.2)]
    del finger
    pts = [(x * s, y * s) for x, y in shape]
    d.polygon(pts, fill=(0, 0, 0, 255))
    # inner white by shrinking: draw the same with a white fill, thinner by redrawing lines
    d.polygon(pts, fill=(255, 255, 255, 255), outline=(0, 0, 0, 255))
    d.line(pts + [pts[0]], fill=(0, 0, 0, 255), width=int(1.3 * s), joint="curve")
    # knuckle lines of the folded fingers
    for x in (18.3, 22.6):
        d.line([(x * s, 12 * s), (x * s, 17 * s)], fill=(0, 0, 0, 255), width=int(1.1 * s))
    # the cuff
    d.rectangle([12.6 * s, 27 * s, 25.2 * s, 31 * s], fill=(0, 0, 0, 255))
    d.rectangle([13.8 * s, 28.2 * s, 24 * s, 29.8 * s], fill=(255, 255, 255, 255))
    img = ss_done(big, w, h)
    # make sure the hot spot pixel is part of the finger
    return img


def save(img, *parts):
    path = os.path.join(HERE, *parts)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    img.save(path, optimize=True)
    print(path, img.size, img.mode)


# The texts drawn into the artwork, in each language: the designed Chinese, and English (the
# main window's own texts are in po/en.po). "chip_right" is the right edge of the light chip
# behind the check box "删除源文件" / "Delete source files".
TEXTS = {
    "zh_CN": {"subtitle": "照片整理", "chip_right": 198, "photo": "照片目录", "output": "输出目录",
              "organize": "整理", "ok": "确定", "cancel": "取消", "start": "开始整理",
              "undo": "撤销"},
    "en": {"subtitle": "Photo organizer", "chip_right": 222, "photo": "Photos",
           "output": "Output", "organize": "Organize", "ok": "OK", "cancel": "Cancel",
           "start": "Organize", "undo": "Undo"},
}


def save_text_artwork(texts, *folder):
    """The artwork that carries text, drawn with `texts`, under `folder` in res/."""
    states = ("normal", "hover", "pressed", "greyed")
    save(main_skin(texts), *folder, "bmp", "129.png")
    save(strip([big_face(texts["photo"], "photo", s) for s in states]), *folder, "png", "138.png")
    save(strip([big_face(texts["output"], "out", s) for s in states]), *folder, "png", "140.png")
    save(strip([big_face(texts["organize"], "calendar", s) for s in states]), *folder, "png",
         "141.png")
    save(strip([text_button_face(texts["ok"], s, True) for s in states]), *folder, "png",
         "147.png")
    save(strip([text_button_face(texts["cancel"], s, False) for s in states]), *folder, "png",
         "148.png")
    save(strip([text_button_face(texts["start"], s, True) for s in states]), *folder, "png",
         "151.png")
    save(strip([text_button_face(texts["undo"], s, False) for s in states]), *folder, "png",
         "152.png")


def main():
    states = ("normal", "hover", "pressed", "greyed")
    save_text_artwork(TEXTS["zh_CN"])
    save_text_artwork(TEXTS["en"], "en")
    save(about_skin(), "bmp", "144.png")
    save(options_skin(), "bmp", "146.png")
    save(panel_skin(760, 540), "bmp", "149.png")
    save(panel_skin(680, 420), "bmp", "150.png")
    save(strip([gear_face(s) for s in states]), "png", "134.png")
    save(strip([bubble_face(s) for s in states]), "png", "135.png")
    save(strip([close_face(s) for s in states]), "png", "136.png")
    save(strip([minimize_face(s) for s in states]), "png", "137.png")
    save(strip([stop_face(s) for s in states]), "png", "142.png")
    save(strip([about_close_face(s) for s in states]), "png", "145.png")
    save(app_icon(), "icon", "128.png")
    for size in ICON_SIZES:
        save(app_icon(size), "hicolor", "%dx%d" % (size, size), "apps", "nandell.png")
    save(hand_cursor(), "cursor", "143.png")


if __name__ == "__main__":
    main()
