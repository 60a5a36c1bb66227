#!/usr/bin/env python3
"""Draws data/yahoo-can't-login.png, the picture "Can't Login?" opens: a short,
illustrated guide to signing in with an app password. Needs ImageMagick's convert
and the DejaVu fonts (fonts-dejavu-core)."""
import subprocess
import sys
from pathlib import Path

FONTS = "/usr/share/fonts/truetype/dejavu/"
FONT, BOLD, MONO = FONTS + "DejaVuSans.ttf", FONTS + "DejaVuSans-Bold.ttf", FONTS + "DejaVuSansMono-Bold.ttf"
INK, BLUE, PALE, LINE, BAND = "#1d2733", "#3d7cc9", "#e3eef9", "#9aa8b8", "#5f259f"

args = ["-size", "960x700", "xc:#f4f6f8"]


def text(x, y, words, size=15, font=FONT, colour=INK):
    args.extend(["-fill", colour, "-stroke", "none", "-font", font, "-pointsize", str(size),
                 "-annotate", f"+{x}+{y}", words])


def box(x0, y0, x1, y1, fill="white", border=LINE, radius=8, width=1):
    args.extend(["-fill", fill, "-stroke", border, "-strokewidth", str(width),
                 "-draw", f"roundrectangle {x0},{y0} {x1},{y1} {radius},{radius}",
                 "-strokewidth", "1"])


def badge(n, x, y):
    args.extend(["-fill", BLUE, "-stroke", "none", "-draw", f"circle {x + 18},{y + 18} {x + 18},{y}"])
    text(x + 11, y + 26, str(n), 20, BOLD, "white")


def panel(n, x0, y0, x1, y1, title, lines):
    box(x0, y0, x1, y1)
    badge(n, x0 + 15, y0 + 15)
    text(x0 + 65, y0 + 39, title, 17, BOLD)
    for i, line in enumerate(lines):
        text(x0 + 65, y0 + 66 + 20 * i, line)


# Heading
args.extend(["-fill", BAND, "-draw", "rectangle 0,0 960,70"])
text(30, 46, "Can't sign in? Use an app password", 28, BOLD, "white")
text(30, 104, "Yahoo! Mail does not let other programs sign in with your normal password.", 16)
text(30, 128, "Make an app password once, then use it in this program instead.", 16)

# 1: where to find it
panel(1, 30, 150, 465, 415, "Open Account security",
      ["Sign in to Yahoo! Mail in your web", "browser, open your name at the top,", "then Account info > Account security."])
box(95, 280, 440, 395, PALE, radius=6)
text(110, 306, "Account security", 14, BOLD)
text(110, 334, "Two-step verification        On", 14)
text(110, 368, "> Generate app password", 14, BOLD, BLUE)

# 2: make it
panel(2, 495, 150, 930, 415, "Generate the password",
      ['Name it (for example "Larkspan") and', "click Generate. Copy the password", "it shows: you will see it only once."])
box(560, 280, 905, 395, PALE, radius=6)
text(575, 306, "Your app password", 14)
box(575, 318, 890, 352, radius=0)
text(590, 342, "abcd efgh ijkl mnop", 18, MONO)
box(800, 360, 890, 386, BLUE, BLUE, radius=4)
text(825, 378, "Copy", 13, BOLD, "white")

# 3: use it here
panel(3, 30, 440, 930, 640, "Sign in here with the app password",
      ["Type your Yahoo! ID, paste the app password into",
       '"Password:" and click "1. Connect". Tick "Remember me"',
       "if this program should keep it for next time.",
       "",
       "Still failing? Check that the computer is online,",
       "or make a new app password and try again."])
box(560, 470, 905, 625, "#efefef", radius=6)
text(572, 488, "Login", 14)
text(575, 516, " Yahoo! ID:", 14)
text(575, 552, "Password:", 14)
box(665, 498, 890, 524, radius=0)
box(665, 534, 890, 560, radius=0)
text(672, 517, "you@yahoo.com", 14)
text(672, 554, "*" * 16, 16, MONO)
box(575, 575, 700, 610, "#f7f9fb", BLUE, radius=4, width=2)
text(598, 598, "1. Connect", 14)

text(30, 675, "An app password works only for the program you made it for. "
              "You can remove it any time under Account security.", 13)

out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "data" / "yahoo-can't-login.png"
subprocess.run(["convert", *args, "-depth", "8", "-strip", str(out)], check=True)
print(f"wrote {out}")
