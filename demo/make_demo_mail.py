#!/usr/bin/env python3
"""Writes the demo mailbox: three folders of varied messages as .eml files.

Run once; the output is committed under demo/mailbox/. Everything is made up.
"""
import base64
import email.utils
import os
import random
import struct
import zlib
from datetime import datetime, timedelta, timezone
from email.message import EmailMessage
from email.headerregistry import Address
from email.policy import SMTP

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "mailbox")
rng = random.Random(20261208)


def png(width, height, colour_a, colour_b):
    """A small striped PNG, written by hand so no imaging library is needed."""
    rows = []
    for y in range(height):
        row = bytearray([0])
        for x in range(width):
            c = colour_a if ((x // 8 + y // 8) % 2 == 0) else colour_b
            row += bytes(c)
        rows.append(bytes(row))
    raw = b"".join(rows)

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


PEOPLE = [
    ("Ana Lima", "ana.lima@example.org"),
    ("Björn Åkesson", "bjorn@example.se"),
    ("Chloé Martin", "chloe.martin@example.fr"),
    ("Dmitri Volkov", "d.volkov@example.net"),
    ("Emeka Obi", "emeka@example.com"),
    ("Fatima Zahra", "fatima@example.ma"),
    ("Grace Chen", "grace.chen@example.com"),
    ("Hiroshi Tanaka", "tanaka@example.jp"),
    ("Isabel García", "isabel@example.es"),
    ("Jonas Weber", "jonas.weber@example.de"),
]
ME = ("Demo User", "demo@larkspan.test")

start = datetime(2026, 9, 1, 8, 30, tzinfo=timezone(timedelta(hours=1)))


def base_message(sender, subject, when, to=ME):
    msg = EmailMessage(policy=SMTP)
    msg["From"] = Address(sender[0], addr_spec=sender[1])
    msg["To"] = Address(to[0], addr_spec=to[1])
    msg["Subject"] = subject
    msg["Date"] = email.utils.format_datetime(when)
    msg["Message-ID"] = email.utils.make_msgid(domain="larkspan.test")
    return msg


LOREM = (
    "The quarterly figures are in and they look better than we expected. "
    "Shipping times are down, the support queue is shorter and the new "
    "warehouse in the north finally runs at full speed. "
)


def plain_mail(i, when):
    sender = PEOPLE[i % len(PEOPLE)]
    subjects = ["Lunch on Thursday?", "Minutes of the Monday meeting", "Your parcel is on its way",
                "Re: Budget draft v3", "Photos from the trip", "Quick question about the invoice",
                "Holiday rota", "Reminder: dentist appointment"]
    subject = subjects[i % len(subjects)]
    msg = base_message(sender, subject, when)
    paragraphs = rng.randint(2, 6)
    body = f"Hi,\n\n" + "\n\n".join(LOREM * rng.randint(1, 3) for _ in range(paragraphs))
    body += f"\n\nBest regards,\n{sender[0]}\n"
    msg.set_content(body)
    return msg


def thread_mail(i, when):
    sender = PEOPLE[(i * 3) % len(PEOPLE)]
    depth = 3 + i % 5
    subject = "Re: " * min(depth, 3) + "Moving the office to the second floor"
    msg = base_message(sender, subject, when)
    quoted = ""
    for level in range(depth, 0, -1):
        who = PEOPLE[(i + level) % len(PEOPLE)][0]
        text = f"On day {level} of the move, {who} wrote:\n" + "\n".join(
            "> " * level + line for line in (LOREM.strip(), "Can we keep the plants by the window?", ""))
        quoted += text + "\n"
    msg.set_content(f"I agree with the plan below. Let us decide on Friday.\n\n{quoted}")
    return msg


def newsletter(i, when):
    sender = ("Garden Club News", "news@garden-club.example")
    subject = ["Spring bulbs are here", "Ten tips for tomatoes", "Our autumn workshop",
               "Members' photo contest results"][i % 4]
    msg = base_message(sender, subject, when)
    colours = [((46, 139, 87), (144, 238, 144)), ((255, 140, 0), (255, 222, 173)),
               ((70, 130, 180), (176, 224, 230)), ((199, 21, 133), (255, 182, 193))][i % 4]
    image = png(160, 60, *colours)
    plain = f"{subject}\n\nRead this newsletter in an HTML mail reader to see the pictures.\n"
    msg.set_content(plain)
    html = f"""<html><body style="font-family:sans-serif;background:#f4f4f4;margin:0">
<table width="640" align="center" style="background:#fff;border-collapse:collapse">
<tr><td style="padding:16px;background:#2e8b57;color:#fff"><h1 style="margin:0">Garden Club News</h1></td></tr>
<tr><td style="padding:16px"><img src="cid:banner{i}@garden" alt="banner" width="160" height="60">
<h2>{subject}</h2>
<p>{LOREM}</p><ul><li>Water early in the morning.</li><li>Mulch keeps the soil moist.</li>
<li>Share your harvest with the neighbours.</li></ul>
<p style="color:#777;font-size:12px">You receive this because you joined the club. Issue {i + 1}.</p>
</td></tr></table></body></html>"""
    msg.add_alternative(html, subtype="html")
    msg.get_payload()[1].add_related(image, maintype="image", subtype="png", cid=f"<banner{i}@garden>")
    return msg


FOREIGN = [
    ("Grüße aus München – Übersicht für Oktober", "Liebe Grüße aus München! Die Übersicht für Oktober ist fertig: "
     "Öffnungszeiten, Feiertage und die neue Straßenbahnlinie."),
    ("Réunion de l'équipe : ordre du jour", "Bonjour à tous, voici l'ordre du jour de la réunion de jeudi. "
     "Merci d'apporter vos idées pour la fête de fin d'année."),
    ("Встреча в пятницу", "Привет! Напоминаю, что встреча переносится на пятницу, 15:00. До встречи!"),
    ("会議の議事録", "お疲れさまです。本日の会議の議事録を共有します。ご確認ください。"),
    ("Orçamento da viagem ✈", "Olá! Segue o orçamento da viagem. As passagens estão mais baratas em março."),
    ("Ευχαριστώ για τη βοήθεια", "Γεια σου! Ευχαριστώ πολύ για τη βοήθεια με τη μετακόμιση."),
]


def foreign_mail(i, when):
    subject, text = FOREIGN[i % len(FOREIGN)]
    msg = base_message(PEOPLE[(i + 5) % len(PEOPLE)], subject, when)
    msg.set_content(text + "\n")
    return msg


def attachment_mail(i, when):
    msg = base_message(PEOPLE[(i + 2) % len(PEOPLE)], f"Report {2026 - i % 3} attached", when)
    msg.set_content("Please find the report attached. The summary is on page one.\n")
    report = ("Summary\n=======\n" + LOREM * 20).encode()
    msg.add_attachment(report, maintype="text", subtype="plain", filename=f"report-{i}.txt")
    msg.add_attachment(png(64, 64, (10, 10, 120), (200, 200, 255)), maintype="image", subtype="png",
                       filename="chart.png")
    return msg


def html_only(i, when):
    msg = base_message(("Travel Desk", "travel@trips.example"), f"Booking confirmation #{4711 + i}", when)
    html = f"""<html><body style="font-family:Georgia,serif">
<h2>Your booking is confirmed</h2>
<table border="1" cellpadding="6" style="border-collapse:collapse">
<tr><th>Flight</th><td>LK {100 + i}</td></tr><tr><th>From</th><td>Lisbon</td></tr>
<tr><th>To</th><td>Oslo</td></tr><tr><th>Seat</th><td>{12 + i}A</td></tr></table>
<p>Please arrive at the airport two hours before departure.</p></body></html>"""
    msg.set_content(html, subtype="html")
    return msg


FOLDERS = {
    "INBOX": [plain_mail] * 12 + [thread_mail] * 6 + [foreign_mail] * 6 + [attachment_mail] * 4,
    "Newsletters": [newsletter] * 12 + [html_only] * 2,
    "Travel": [html_only] * 8 + [foreign_mail] * 4 + [plain_mail] * 4 + [attachment_mail] * 2,
}


def main():
    when = start
    for folder, makers in FOLDERS.items():
        path = os.path.join(OUT, folder)
        os.makedirs(path, exist_ok=True)
        for n, make in enumerate(makers):
            when += timedelta(hours=rng.randint(3, 40), minutes=rng.randint(0, 59))
            msg = make(n, when)
            with open(os.path.join(path, f"{n + 1:03d}.eml"), "wb") as f:
                f.write(msg.as_bytes())
    total = sum(len(m) for m in FOLDERS.values())
    print(f"wrote {total} messages into {OUT}")


if __name__ == "__main__":
    main()
