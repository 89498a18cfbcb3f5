#!/usr/bin/env python3
"""Writes the mbox and Maildir fixtures with Python's own mailbox module, so that the reader is
tested against files another program wrote. Run from this folder; the output is committed."""
import mailbox
import os
import shutil
import time

FIXED = time.mktime((2024, 3, 5, 10, 20, 0, 0, 0, -1))

LETTERS = [
    ("alice@example.org", "First", "Hello.\n\nFrom the start of a line, quoted by the writer.\n", "RO", ""),
    ("bob@example.org", "Second", "Answered and read.\n", "RO", "A"),
    ("carol@example.org", "Third", "Unread, ends without blank line.", "O", ""),
]


def message(sender, subject, body):
    return ("From: %s\nTo: me@example.org\nSubject: %s\nDate: Tue, 05 Mar 2024 10:20:00 +0000\n\n%s"
            % (sender, subject, body))


def write_mbox():
    if os.path.exists("python.mbox"):
        os.remove("python.mbox")
    box = mailbox.mbox("python.mbox")
    for sender, subject, body, status, xstatus in LETTERS:
        m = mailbox.mboxMessage(message(sender, subject, body))
        m.set_from(sender, time.gmtime(FIXED))
        m.set_flags(status + xstatus)
        box.add(m)
    box.flush()
    box.close()


def write_maildir():
    shutil.rmtree("maildir", ignore_errors=True)
    box = mailbox.Maildir("maildir", create=True)
    for name, (subdir, flags) in enumerate([("cur", "S"), ("cur", "RS"), ("cur", "T"), ("new", "")]):
        m = mailbox.MaildirMessage(message("m%d@example.org" % name, "Maildir %d" % name, "Body %d\n" % name))
        m.set_subdir(subdir)
        m.set_flags(flags)
        box.add(m)
    box.close()
    for folder, _, files in os.walk("maildir"):
        for f in files:
            os.utime(os.path.join(folder, f), (FIXED, FIXED))


write_mbox()
write_maildir()
