"""The Orca test's table: sessions of the program, each a list of rows.

A row presses its steps in order, then waits at most `wait` seconds until the
text Orca spoke since the row began (its SPEECH OUTPUT lines, one per line)
matches the regular expression `expect`. `absent` must not match that text;
`shown` / `hidden` name a window that must be visible / gone at the end.

Steps: a key for `xdotool key` ("Tab", "alt+f", "Tab*3" for three presses),
"until:KEY:REGEX" (KEY pressed until Orca says something matching REGEX),
"deliver:FILE" (a message of mail/ arrives in the mailbox),
"window:TITLE" (wait until a window of that title, a regular expression, shows),
"activate:TITLE" (give it the keyboard),
"tray" (a right click on the tray icon), "type:TEXT", "sleep:SECONDS".
A session's files are made in HOME: a file dialog opens "~/NAME".

The first word of a row is its state: `ready` rows run and must pass;
`pending` rows describe what is not built yet and are skipped ("not built
yet"; run them with --pending). Enabling a row is changing that one word.
Rows of a session share the program's state: each row starts where the one
before it left the focus.
"""
import subprocess


class Row:
    def __init__(self, state, item, title, steps, expect=None, absent=None, shown=None,
                 hidden=None, wait=6.0):
        assert state in ("ready", "pending")
        self.state, self.item, self.title = state, item, title
        self.steps, self.expect, self.absent = steps, expect, absent
        self.shown, self.hidden, self.wait = shown, hidden, wait


class Session:
    def __init__(self, name, about, rows, mail=("alice.eml",), settings=(), tip=False,
                 server_up=True, files=None, ready=r"Brindlecast frame"):
        self.name, self.about, self.rows = name, about, rows
        self.mail, self.settings, self.tip = mail, settings, tip
        self.server_up, self.files, self.ready = server_up, files or {}, ready


def spoken_wav(path, env):
    """A WAV file of a few seconds of speech, for the waveform view."""
    subprocess.run(["espeak-ng", "-w", path, "Good morning. This is the greeting of the "
                    "waveform test, spoken slowly so that it lasts a few seconds."],
                   env=env, check=True, capture_output=True, timeout=30)


def short_text(path, env):
    with open(path, "w") as f:
        f.write("A short note to read aloud.\n")


# Every session's settings (scripts/account-settings.sh): one account on the
# private server, the From and Subject columns, no automatic check during the
# test (the rows press F5), desktop notifications, the message text read aloud
# (the voice speaks long enough for the rows that need it speaking).
BASE_SETTINGS = ("General/CheckMail=1", "General/Freq=3600", "General/FreqUnit=0",
                 "General/ShowEnvelopeInfo=1", "General/From=1", "General/Subject=1",
                 "General/NoticeStyle=1", "General/CheckLines=1", "General/ComboLines=20",
                 "Speak/SpeakFrom=1", "Speak/SpeakSubject=1", "Speak/SpeakContent=1")

MAIN = "Brindlecast"
SERVER_DOWN = r"The mail server 127\.0\.0\.1 (could not be reached|turned the connection away)"

SESSIONS = [
    Session("main", "the main window with a tray and desktop notifications", [
        Row("ready", "", "Tab walks the toolbar, the page tabs and the list",
            ["Tab*4"],
            expect=r"Refresh content push button[\s\S]*Close window push button[\s\S]*"
                   r"Email Reader page tab list[\s\S]*Messages\.\ntable"),
        Row("ready", "", "Alt+F opens the File menu, arrows read its items",
            ["alt+f", "Down", "Down", "Escape", "Escape"],
            expect=r"Open Text File[\s\S]*Open WAV File[\s\S]*Paste Clipboard[\s\S]*File",
            shown=MAIN),
        Row("ready", "", "the other menus read their first items",
            ["alt+c", "Right", "Right", "Right", "Escape", "Escape"],
            expect=r"Play[\s\S]*Properties[\s\S]*Read Email[\s\S]*Help Topics", shown=MAIN),
        Row("ready", "", "F5 checks; Orca reads the desktop notification of the new mail",
            ["F5"], expect=r"Notification Alice Walker Budget review on Monday", wait=15),
        Row("ready", "", "the list reads the message row",
            ["activate:" + MAIN, "Home"], expect=r"Alice Walker\.\nBudget review on Monday"),
        Row("ready", "1", "Return on a message row reads it and leaves the window shown",
            ["ctrl+t", "sleep:1", "Home", "Return", "sleep:1"], expect=r"return", shown=MAIN),
        Row("ready", "", "the tray menu's Stop Speaking is reached and pressed while the "
                         "voice reads", ["tray", "Down*4", "Return"], expect=r"Stop Speaking"),
        # After Stop Speaking, Refresh stays grey until the next check: the third
        # button left of the list is Delete.
        Row("ready", "1", "Return on a toolbar button presses it and leaves the window shown",
            ["activate:" + MAIN, "shift+Tab*3", "Return"],
            expect=r"Delete selected items push button[\s\S]*alert Brindlecast\.\n"
                   r"Do you want to delete\? Alice Walker: Budget review on Monday\.\n"
                   r"Yes push button", shown=MAIN),
        Row("ready", "1", "Escape answers the question No and leaves the window shown",
            ["Escape", "sleep:1"], expect=r"Delete selected items push button", shown=MAIN),
        Row("ready", "", "new mail at the next check: Orca reads its notification",
            ["deliver:bob.eml", "F5"],
            expect=r"Notification Bob Stone Train tickets", wait=15),
        Row("ready", "1", "Escape closes a menu and leaves the window shown",
            ["activate:" + MAIN, "alt+f", "Escape", "Escape", "sleep:1"],
            expect=r"Open Text File[\s\S]*File", shown=MAIN),
        Row("ready", "1", "Escape with nothing left to close hides the window (a tray is there)",
            ["Escape"], hidden=MAIN),
        Row("ready", "1", "the tray menu's first item brings the window back",
            ["tray", "Down", "Return"], expect=r"Show Brindlecast[\s\S]*Brindlecast frame",
            shown=MAIN),
        Row("ready", "3", "Suspend is in the window's menus (the tray is not needed)",
            ["activate:" + MAIN, "alt+c", "until:Down:Suspend", "Escape", "Escape"],
            expect=r"Suspend"),
        Row("ready", "11", "F10 opens the menu bar",
            ["activate:" + MAIN, "F10", "Escape", "Escape"], expect=r"File"),
    ]),
    Session("voice", "focus while the voice starts and ends", [
        Row("ready", "2", "Play greys while F5's announcement speaks: focus to the list",
            ["F5"], expect=r"Messages\.\ntable", absent=r"Close window"),
        Row("ready", "2", "Stop greys when the voice ends: focus to the list, not Close",
            ["Home", "Return", "Tab*2"],
            expect=r"Stop playing push button[\s\S]*Messages\.\ntable", absent=r"Close window",
            wait=20),
        Row("ready", "2", "a second Space there does not hide the window",
            ["space", "sleep:1"], shown=MAIN),
    ], mail=("bob.eml",)),
    Session("notice window", "the program's own sliding notice", [
        Row("ready", "4", "the sliding new-mail notice is read as a notification",
            ["F5"], expect=r"new email message from 'Alice Walker'", wait=15),
    ], settings=("General/NoticeStyle=0",)),
    Session("server down", "an account whose server does not answer", [
        Row("ready", "5", "the check error under the list is announced",
            ["F5"], expect=SERVER_DOWN, wait=15),
        Row("ready", "5", "Tab reaches the check error",
            ["activate:" + MAIN, "until:Tab:" + SERVER_DOWN], expect=SERVER_DOWN),
    ], server_up=False),
    Session("properties", "the Properties sheet and the account sheet", [
        Row("ready", "6", "Tab from the page tab row reaches the account list",
            ["ctrl+r", "window:Brindlecast Properties", "Tab"], expect=r"Accounts tree",
            absent=r"OK push button"),
        Row("ready", "7", "the account's check box state is spoken",
            ["Up", "Down"], expect=r"test check box checked"),
        Row("ready", "7", "Space toggles it and Orca hears the new state",
            ["space"], expect=r"space \nnot checked"),
        Row("ready", "7", "Space again: checked",
            ["space"], expect=r"space \nchecked"),
        Row("ready", "7", "Cancel brings back an account deleted in the sheet",
            ["until:Tab:Delete push button", "space", "Escape", "activate:" + MAIN, "ctrl+r",
             "window:Brindlecast Properties", "Tab", "Up", "Down"], expect=r"test check box"),
        Row("ready", "6", "Ctrl+Tab and Ctrl+PageDown switch pages",
            ["ctrl+Tab", "ctrl+Next"],
            expect=r"(General page tab|Display Envelope Information)[\s\S]*"
                   r"(Notification page tab|Check New Email Every)"),
        Row("ready", "11", "Tab into the notification radio group lands on the checked one",
            ["until:Tab:radio button"], expect=r"New Email Speech Notification\.\n"
                                              r"selected radio button"),
        Row("ready", "8", "Show Notices As speaks its value",
            ["ctrl+Prior", "until:Tab:Show Notices As"],
            expect=r"Show Notices As combo box\.\nDesktop notifications"),
        Row("ready", "8", "the Security box of the account sheet speaks its value",
            ["ctrl+Prior", "until:Tab:Accounts tree", "Up", "Down", "until:Tab:Edit push button",
             "Return", "window:Account Properties", "until:Tab:Security"],
            expect=r"Security: combo box\.\nNone"),
        Row("ready", "11", "Approved Senders reads its current entry on entry",
            ["ctrl+Tab", "until:Tab:List with"],
            expect=r"List with 1 item\.\nfriend@example\.org"),
    ], settings=("ApproveSender=friend@example.org;",)),
    Session("files", "text and WAV files", [
        Row("ready", "9", "after File > Open Text File opens a file, Tab moves and is heard",
            ["alt+f", "Return", "window:Open.*", "type:~/note.txt", "Return", "sleep:1", "Tab"],
            expect=r"tab \n[^\n]+"),
        Row("ready", "10", "the waveform view has a name with the file and its length",
            ["activate:" + MAIN, "ctrl+w", "window:Open.*", "type:~/greeting.wav", "Return",
             "sleep:1", "until:Tab:Waveform"],
            expect=r"Waveform of greeting\.wav, \d+\.\d seconds"),
        # Orca 43 speaks a changed value, not a changed description: the caret
        # is the view's value, in seconds.
        Row("ready", "10", "Right moves the caret a tenth of a second and says so",
            ["Home", "Right"], expect=r"(^|\n)0\.1(\n|$)"),
    ], files={"greeting.wav": spoken_wav, "note.txt": short_text}),
    Session("tip", "the Tip of the Day at start", [
        # What Orca said at the start counts for a session's first row. The tip
        # is picked at random; each is a sentence longer than any control's name.
        Row("ready", "11", "the tip's text is read", [], expect=r"[^\n]{60,}"),
    ], tip=True, ready=r"Tip of the Day"),
]
