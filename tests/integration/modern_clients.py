#!/usr/bin/python3
"""Two everyday IRC clients, irssi and WeeChat as Debian ships them, use a running
server the way a person would, with the clients' default settings.

Usage: modern_clients.py PORT --welcome TEXT --motd LINE [--motd LINE ...]
                         [--clients irssi,weechat] [--keep DIR] [--budget SECONDS]

A plain-socket member "peer" (127.0.0.2) waits in #modern. Then each client in turn
(irssi from 127.0.0.3, WeeChat from 127.0.0.4) connects to 127.0.0.1:PORT and:
  - shows the welcome (001: TEXT followed by its nick!user@host) and every MOTD LINE;
  - sends "PING <token>" (/quote) and shows the PONG with that token;
  - measures its lag from the PONG of its own lag check;
  - joins #modern (irssi: its channel synchronisation must finish);
  - lists the members with /names: both nicks;
  - sets /away with a text and comes back: it shows the 306 and the 305;
  - leaves with /part #modern some reason: peer sees the PART with that reason;
  - has shown no error: no numeric reply 400-599 since its welcome (irssi's probe
    "JOIN :" before registration draws a 451 on purpose), no error line of its own;
  - has written only UTF-8 in the logs of what it showed.
Each check prints one line, "ok <client>: <check>" or "FAILED <client>: <check>: why".
Exits 0 when every check passed, 1 otherwise, 2 on bad usage. Every wait is bounded.

irssi runs on a pseudo-terminal that this script reads and types into; it logs what it
shows with /log and the protocol with /rawlog, and a small script of its own reports
each lag it measures. WeeChat runs headless (weechat-headless) and takes commands
through its FIFO; its logger writes what each buffer shows, and two triggers log the
lines it receives and each lag it measures. No charset or protocol setting changes:
besides the address, port, nick and source address to connect with (and WeeChat's
-notls), only the logger's flush delay (WeeChat: 0 instead of 120 s) and the lag check's
interval (irssi: 1 s until it has measured; WeeChat: 30 s, which starts a check at
once), so that both show within the run what they would show a minute later.
"""

import argparse
import fcntl
import os
import pty
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import termios
import time

CHANNEL = "#modern"
PART_REASON = "some reason"
AWAY_TEXT = "gone fishing"
PEER_NICK = "peer"
PEER_ADDRESS = "127.0.0.2"

# Bounds of the waits, in seconds. Registration includes the server's reverse lookup
# of the client's address (at most 2 s); irssi synchronises a channel a few seconds
# after joining it.
REGISTRATION_SECONDS = 15.0
REPLY_SECONDS = 8.0
LAG_SECONDS = 10.0
SYNC_SECONDS = 15.0
DISPLAY_AFTER_REPLY_SECONDS = 3.0
EXIT_SECONDS = 10.0


def numeric_of(raw_line):
    """The numeric of a received line ("001"), or None."""
    match = re.match(r"^(?:@\S+ )?:\S+ (\d\d\d)(?: |$)", raw_line)
    return match.group(1) if match else None


def command_of(raw_line):
    match = re.match(r"^(?:@\S+ )?(?::\S+ )?(\S+)", raw_line)
    return match.group(1).upper() if match else None


def trailing_of(raw_line):
    """The text after " :" (the last parameter), or None."""
    body = re.sub(r"^(?:@\S+ )?(?::\S+ )?", "", raw_line)
    position = body.find(" :")
    return body[position + 2:] if position >= 0 else None


def tail(lines, count=15):
    return " | ".join(lines[-count:])


class Results:
    def __init__(self):
        self.failed = 0
        self.passed = 0

    def check(self, client, name, ok, why=""):
        if ok:
            self.passed += 1
            print("ok %s: %s" % (client, name), flush=True)
        else:
            self.failed += 1
            print("FAILED %s: %s: %s" % (client, name, why), flush=True)
        return ok


class GrowingFile:
    """A file that another program appends to, read line by line as it grows."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.pending = b""

    def new_lines(self):
        try:
            with open(self.path, "rb") as stream:
                stream.seek(self.offset)
                data = stream.read()
        except FileNotFoundError:
            return []
        self.offset += len(data)
        self.pending += data
        *complete, self.pending = self.pending.split(b"\n")
        return [line.rstrip(b"\r") for line in complete]


class Peer:
    """The member who stays in the channel: a plain socket, UTF-8 text."""

    def __init__(self, port):
        self.lines = []
        self.buffer = b""
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5,
                                             source_address=(PEER_ADDRESS, 0))
        self.sock.setblocking(False)
        self.send("NICK " + PEER_NICK)
        self.send("USER %s 0 * :Peer of the clients" % PEER_NICK)

    def send(self, line):
        self.sock.sendall(line.encode("utf-8") + b"\r\n")

    def fileno(self):
        return self.sock.fileno()

    def service(self):
        try:
            data = self.sock.recv(65536)
        except BlockingIOError:
            return
        except OSError:
            data = b""
        if not data:
            return
        self.buffer += data
        *complete, self.buffer = self.buffer.split(b"\n")
        for raw in complete:
            line = raw.rstrip(b"\r").decode("utf-8", errors="replace")
            if command_of(line) == "PING":
                self.send("PONG :" + (trailing_of(line) or line.split(" ")[-1]))
            self.lines.append(line)

    def close(self):
        try:
            self.send("QUIT :done")
        except OSError:
            pass
        self.sock.close()


class Session:
    """Everything this script waits on: the peer's socket and irssi's terminal."""

    def __init__(self, deadline):
        self.sources = []
        self.deadline = deadline

    def pump(self, seconds):
        if not self.sources:
            time.sleep(seconds)
            return
        readable, _, _ = select.select(self.sources, [], [], seconds)
        for source in readable:
            source.service()

    def wait_for(self, seconds, condition):
        """Services every source until condition() answers something true; answers it,
        or None after `seconds` (or at the run's deadline)."""
        end = min(time.monotonic() + seconds, self.deadline)
        while True:
            value = condition()
            if value:
                return value
            if time.monotonic() >= end:
                return None
            self.pump(0.05)


class Client:
    """What both clients share: a program started in a folder of its own, what it
    shows (display lines) and what it received (raw lines), read from its files."""

    name = ""
    nick = ""
    address = ""

    def __init__(self, session, port, folder):
        self.session = session
        self.port = port
        self.folder = os.path.join(folder, self.name)
        os.makedirs(self.folder)
        self.display = []
        self.raw_in = []
        self.process = None

    def refresh(self):
        """Reads what the client has written since the last call."""
        raise NotImplementedError

    def command(self, text):
        raise NotImplementedError

    def error_lines(self, display):
        """The lines of `display` that the client marks as errors."""
        raise NotImplementedError

    def marks(self):
        self.refresh()
        return len(self.display), len(self.raw_in)

    def display_since(self, mark):
        self.refresh()
        return self.display[mark[0]:]

    def raw_since(self, mark):
        self.refresh()
        return self.raw_in[mark[1]:]

    def wait_display(self, mark, seconds, matches):
        return self.session.wait_for(
            seconds, lambda: next((line for line in self.display_since(mark) if matches(line)),
                                  None))

    def wait_raw(self, mark, seconds, matches):
        return self.session.wait_for(
            seconds, lambda: next((line for line in self.raw_since(mark) if matches(line)),
                                  None))

    def stop(self):
        """Waits for the client to end after its /quit; kills it when it does not."""
        if self.process is None:
            return
        try:
            self.process.wait(EXIT_SECONDS)
        except subprocess.TimeoutExpired:
            self.kill()

    def kill(self):
        if self.process is not None and self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait(EXIT_SECONDS)

    def exited(self):
        return self.process is None or self.process.poll() is not None


class Irssi(Client):
    name = "irssi"
    nick = "irssi"
    address = "127.0.0.3"

    def start(self):
        home = os.path.join(self.folder, "home")
        os.makedirs(os.path.join(home, "scripts", "autorun"))
        self.log_path = os.path.join(self.folder, "shown.log")
        self.raw_path = os.path.join(self.folder, "raw.log")
        # irssi's /rawlog needs a connected server: this opens it at the welcome, when
        # it writes what irssi kept of the connection so far. And irssi shows a lag in
        # its status bar only from one second on: this reports every lag it measures.
        with open(os.path.join(home, "scripts", "autorun", "observe.pl"), "w") as script:
            script.write('use Irssi;\n'
                         'Irssi::signal_add_last("event connected", sub {\n'
                         '    my ($server) = @_;\n'
                         '    $server->command("rawlog open %s");\n'
                         '});\n'
                         'Irssi::signal_add("server lag", sub {\n'
                         '    my ($server) = @_;\n'
                         '    Irssi::print("lag measured: " . $server->{lag} . " ms");\n'
                         '});\n' % self.raw_path)
        with open(os.path.join(home, "startup"), "w") as startup:
            startup.write("/log open %s all\n" % self.log_path)
            startup.write("/connect -host %s 127.0.0.1 %d\n" % (self.address, self.port))
        master, slave = pty.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 50, 200, 0, 0))
        environment = dict(os.environ, TERM="xterm", LANG="C.UTF-8", HOME=home)
        environment.pop("LC_ALL", None)
        self.process = subprocess.Popen(
            ["irssi", "--home=" + home, "--nick=" + self.nick], stdin=slave, stdout=slave,
            stderr=slave, env=environment, start_new_session=True)
        os.close(slave)
        self.terminal = master
        self.screen = open(os.path.join(self.folder, "screen.out"), "wb")
        self.shown = GrowingFile(self.log_path)
        self.raw = GrowingFile(self.raw_path)
        self.session.sources.append(self)

    def fileno(self):
        return self.terminal

    def service(self):
        # The terminal must be read all along, or irssi blocks drawing its screen.
        try:
            data = os.read(self.terminal, 65536)
        except OSError:
            data = b""
        if not data:
            self.session.sources.remove(self)
            return
        self.screen.write(data)

    def shown_files(self):
        return [self.log_path]

    def refresh(self):
        self.display += [line.decode("utf-8", errors="replace")
                         for line in self.shown.new_lines()]
        for line in self.raw.new_lines():
            text = line.decode("utf-8", errors="replace")
            if text.startswith(">> "):
                self.raw_in.append(text[3:])
            elif text.startswith("--> "):
                # irssi's note of where it sent a redirected reply ("chanquery abort")
                self.raw_in.append(text)

    def command(self, text):
        os.write(self.terminal, text.encode("utf-8") + b"\r")

    def error_lines(self, display):
        marks = ("Unknown command", "Irssi: warning", "Irssi: critical", "Error")
        return [line for line in display if any(mark in line for mark in marks)]

    def quit(self):
        self.command("/quit bye")

    def stop(self):
        # irssi draws on its terminal until it ends: read it meanwhile.
        end = time.monotonic() + EXIT_SECONDS
        while not self.exited() and time.monotonic() < end:
            self.session.pump(0.05)
        super().stop()
        self.release_terminal()

    def kill(self):
        super().kill()
        self.release_terminal()

    def release_terminal(self):
        if getattr(self, "terminal", None) is None:
            return
        if self in self.session.sources:
            self.session.sources.remove(self)
        os.close(self.terminal)
        self.screen.close()
        self.terminal = None

    # What this client shows.
    def pong_shown(self, line, token):
        return "PONG received from " in line and line.endswith(": " + token)

    def lag_line(self, line):
        match = re.search(r"lag measured: (\d+) ms$", line)
        return int(match.group(1)) if match else None

    def start_lag_check(self):
        # irssi checks its lag once a minute; a check every second from now on brings
        # the first one within the run.
        self.command("/set lag_check_time 1s")

    def end_lag_check(self):
        self.command("/set -default lag_check_time")

    def names_block(self, lines):
        """The lines of a /names answer: from "[Users #modern]" to its "Total of"."""
        start = next((i for i, line in enumerate(lines) if "[Users " + CHANNEL + "]" in line),
                     None)
        if start is None:
            return None
        for end in range(start, len(lines)):
            if CHANNEL + ": Total of" in lines[end]:
                return lines[start:end + 1]
        return None

    def away_shown(self, lines, numeric, _raw_line):
        text = {"306": "You have been marked as being away",
                "305": "You are no longer marked as being away"}[numeric]
        return any(line.endswith(text) for line in lines)


class WeeChat(Client):
    name = "weechat"
    nick = "weechat"
    address = "127.0.0.4"
    RAW_MARK = "received> "
    LAG_MARK = "lag measured: "

    def start(self):
        self.home = os.path.join(self.folder, "home")
        os.makedirs(self.home)
        output = open(os.path.join(self.folder, "weechat.out"), "wb")
        environment = dict(os.environ, LANG="C.UTF-8")
        environment.pop("LC_ALL", None)
        # No server yet: the commands come through the FIFO, where WeeChat does not
        # evaluate ${...} as it does in -r commands, so the triggers keep theirs.
        self.process = subprocess.Popen(
            ["weechat-headless", "--dir", self.home, "--stdout"], stdin=subprocess.DEVNULL,
            stdout=output, stderr=subprocess.STDOUT, env=environment, start_new_session=True)
        output.close()
        self.fifo = os.path.join(self.home, "weechat_fifo_%d" % self.process.pid)
        if not self.session.wait_for(REGISTRATION_SECONDS,
                                     lambda: os.path.exists(self.fifo) or self.exited()):
            raise RuntimeError("WeeChat made no FIFO at " + self.fifo)
        if self.exited():
            raise RuntimeError("WeeChat ended at once (see %s)" % output.name)
        logs = os.path.join(self.home, "logs")
        self.files = [GrowingFile(os.path.join(logs, name)) for name in
                      ("core.weechat.weechatlog", "irc.server.tavo.weechatlog",
                       "irc.tavo.%s.weechatlog" % CHANNEL)]
        self.fifo_commands([
            # The logger writes each line at once instead of every two minutes.
            "*/set logger.file.flush_delay 0",
            # Every line received, before WeeChat handles it, into the core buffer's log.
            '*/trigger add tavo_received signal *,irc_raw_in_* "" "" '
            '"/print -core %s${tg_signal_data}"' % self.RAW_MARK,
            # Each lag measured: WeeChat shows a lag in its bar item only from 500 ms on.
            # The next check is scheduled (after now) only when the PONG has come.
            '*/trigger add tavo_lag signal irc_server_lag_changed '
            '"${irc_server[irc_servers].lag_next_check} > ${date:%%s}" "" '
            '"/print -core %s${irc_server[irc_servers].lag} ms"' % self.LAG_MARK,
            "*/server add tavo 127.0.0.1/%d -notls -nicks=%s -local_hostname=%s"
            % (self.port, self.nick, self.address),
            "*/connect tavo",
        ])

    def fifo_commands(self, commands):
        # Without O_NONBLOCK, opening a FIFO that nobody reads would wait for ever.
        fifo = os.open(self.fifo, os.O_WRONLY | os.O_NONBLOCK)
        try:
            os.write(fifo, "".join(command + "\n" for command in commands).encode("utf-8"))
        finally:
            os.close(fifo)

    def shown_files(self):
        return [file.path for file in self.files]

    def refresh(self):
        for file in self.files:
            for raw in file.new_lines():
                # date <tab> prefix <tab> message
                fields = raw.decode("utf-8", errors="replace").split("\t", 2)
                line = "\t".join(fields[1:])
                message = fields[2] if len(fields) == 3 else ""
                if message.startswith(self.RAW_MARK):
                    self.raw_in.append(message[len(self.RAW_MARK):])
                else:
                    self.display.append(line)

    def command(self, text):
        buffer = "irc.tavo." + CHANNEL if text.startswith("/part") else "irc.server.tavo"
        self.fifo_commands([buffer + " *" + text])

    def error_lines(self, display):
        return [line for line in display if line.startswith("=!=") or "Unknown command" in line]

    def quit(self):
        self.fifo_commands(["*/quit bye"])

    # What this client shows.
    def pong_shown(self, line, token):
        return line == "\tPONG: " + token

    def lag_line(self, line):
        match = re.search(re.escape(self.LAG_MARK) + r"(\d+) ms$", line)
        return int(match.group(1)) if match else None

    def start_lag_check(self):
        # WeeChat checks its lag a minute after the server was added; a new interval
        # starts a check at once.
        self.fifo_commands(["*/set irc.network.lag_check 30"])

    def end_lag_check(self):
        pass

    def names_block(self, lines):
        return next(([line] for line in lines if line.startswith("--\tNicks " + CHANNEL + ":")),
                    None)

    def away_shown(self, lines, _numeric, raw_line):
        # WeeChat shows the text of a 305/306 that names the client, in the server buffer.
        text = trailing_of(raw_line)
        return text is not None and any(line == "--\t" + text for line in lines)


def read_file(path):
    try:
        with open(path, "rb") as stream:
            return stream.read()
    except FileNotFoundError:
        return b""


def run_client(client, peer, session, options, results):
    def check(what, ok, why=""):
        return results.check(client.name, what, ok, why)

    client.start()
    run_steps(client, peer, session, options, check)
    check_errors(client, check)


def run_steps(client, peer, session, options, check):
    """Registration and what a person does then, one check each; stops early when the
    client is not registered or did not join."""
    mark = (0, 0)

    # Registration: the end of the MOTD (376) or its absence (422).
    end_of_motd = client.wait_raw(mark, REGISTRATION_SECONDS,
                                  lambda line: numeric_of(line) in ("376", "422"))
    if not check("registration", end_of_motd is not None,
                 "no 376/422 within %.0f s; received: %s; shown: %s"
                 % (REGISTRATION_SECONDS, tail(client.raw_in), tail(client.display))):
        return
    client.refresh()

    # The welcome and the MOTD as the client shows them.
    welcome = options.welcome + client.nick + "!"
    welcome_lines = [line for line in client.display if welcome in line]
    raw_welcome = next((line for line in client.raw_in if numeric_of(line) == "001"), None)
    # The 001 ends in nick!user@host: the lines that name the client so show it.
    check("welcome", bool(welcome_lines),
          "no shown line holds %r; the 001 received: %r; shown: %s"
          % (welcome, raw_welcome,
             tail([line for line in client.display if client.nick + "!" in line], 3)))
    # A 372 reads "- <line>".
    missing = [line for line in options.motd
               if not any(shown.endswith("- " + line) for shown in client.display)]
    motd_shown = [line for line in client.display if "- " in line][-5:]
    check("motd", not missing,
          "not shown: %r; the MOTD lines shown: %s" % (missing, " | ".join(motd_shown)))

    # PING with a token of the client's own: the PONG carries it back.
    token = "tavo-%s-%d" % (client.name, os.getpid())
    mark = client.marks()
    client.command("/quote PING " + token)
    pong = client.wait_raw(mark, REPLY_SECONDS, lambda line: command_of(line) == "PONG")
    shown = pong and client.wait_display(mark, DISPLAY_AFTER_REPLY_SECONDS,
                                         lambda line: client.pong_shown(line, token))
    check("pong token", bool(shown),
          "received %r; shown since: %s" % (pong, tail(client.display_since(mark), 5)))

    # The client's own lag check.
    mark = client.marks()
    client.start_lag_check()
    lag = client.wait_display(mark, LAG_SECONDS, lambda line: client.lag_line(line) is not None)
    client.end_lag_check()
    check("lag", lag is not None,
          "no lag measured within %.0f s; received since: %s"
          % (LAG_SECONDS, tail([line for line in client.raw_since(mark)], 5)))

    # Joining the channel where peer waits.
    mark = client.marks()
    client.command("/join " + CHANNEL)
    joined = client.wait_display(
        mark, REPLY_SECONDS,
        lambda line: client.nick in line and "has joined " + CHANNEL in line)
    if not check("join", joined is not None,
                 "received: %s; shown: %s" % (tail(client.raw_since(mark)),
                                              tail(client.display_since(mark)))):
        return
    if isinstance(client, Irssi):
        # irssi asks MODE, WHO and MODE b of a channel it joined and aborts the
        # synchronisation when an answer does not come as it expects.
        synced = client.wait_display(
            mark, SYNC_SECONDS, lambda line: "Join to " + CHANNEL + " was synced" in line)
        check("channel sync", synced is not None,
              "not synced within %.0f s; received: %s"
              % (SYNC_SECONDS, tail(client.raw_since(mark))))

    # /names lists both members.
    mark = client.marks()
    client.command("/names " + CHANNEL)
    block = client.session.wait_for(REPLY_SECONDS,
                                    lambda: client.names_block(client.display_since(mark)))
    members = " ".join(block or [])
    listed = all(re.search(r"(?<![\w])[@+]?%s(?![\w])" % re.escape(nick), members)
                 for nick in (client.nick, PEER_NICK))
    check("names", block is not None and listed,
          "the list shown: %r; received: %s" % (block, tail(client.raw_since(mark), 6)))

    # /away with a text, then back.
    for numeric, command in (("306", "/away " + AWAY_TEXT), ("305", "/away")):
        mark = client.marks()
        client.command(command)
        reply = client.wait_raw(mark, REPLY_SECONDS, lambda line: numeric_of(line) == numeric)
        shown = reply and client.session.wait_for(
            DISPLAY_AFTER_REPLY_SECONDS,
            lambda: client.away_shown(client.display_since(mark), numeric, reply))
        check("away " + numeric, bool(shown),
              "received %r; shown since: %s" % (reply, tail(client.display_since(mark), 5)))

    # /part with a reason: peer sees the reason.
    peer_mark = len(peer.lines)
    mark = client.marks()
    client.command("/part %s %s" % (CHANNEL, PART_REASON))
    parted = session.wait_for(REPLY_SECONDS, lambda: next(
        (line for line in peer.lines[peer_mark:]
         if command_of(line) == "PART" and line.startswith(":" + client.nick + "!")), None))
    check("part reason", parted is not None and trailing_of(parted) == PART_REASON,
          "peer received %r (expected the reason %r)" % (parted, PART_REASON))



def check_errors(client, check):
    # No error since the welcome (a 451 before it answers irssi's "JOIN :" probe).
    client.refresh()
    welcomed = False
    errors = []
    for line in client.raw_in:
        welcomed = welcomed or numeric_of(line) == "001"
        numeric = numeric_of(line)
        if numeric and numeric[0] in "45" and (welcomed or numeric != "451"):
            errors.append(line)
        if line.startswith("--> chanquery abort"):
            errors.append(line)
    errors += client.error_lines(client.display)
    check("no errors", not errors, " | ".join(errors[:8]))

    # Everything the client wrote of what it showed is UTF-8.
    invalid = []
    for path in client.shown_files():
        try:
            read_file(path).decode("utf-8")
        except UnicodeDecodeError as error:
            invalid.append("%s: %s" % (os.path.basename(path), error))
    check("shown text is UTF-8", not invalid, " | ".join(invalid))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("--welcome", required=True)
    parser.add_argument("--motd", action="append", required=True)
    parser.add_argument("--clients", default="irssi,weechat")
    parser.add_argument("--keep", help="a folder for the clients' files, kept afterwards")
    parser.add_argument("--budget", type=float, default=100.0, help="seconds for the whole run")
    options = parser.parse_args()
    # A SIGTERM (timeout(1)) ends the run through the finally blocks, which end the clients.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(3))

    kinds = {"irssi": Irssi, "weechat": WeeChat}
    wanted = options.clients.split(",")
    if not all(kind in kinds for kind in wanted):
        parser.error("--clients takes irssi and weechat")
    folder = options.keep or tempfile.mkdtemp(prefix="modern-clients-")
    os.makedirs(folder, exist_ok=True)
    session = Session(time.monotonic() + options.budget)
    results = Results()
    try:
        peer = Peer(options.port)
        session.sources.append(peer)
        welcomed = session.wait_for(
            REGISTRATION_SECONDS,
            lambda: any(numeric_of(line) in ("376", "422") for line in peer.lines))
        peer.send("JOIN " + CHANNEL)
        joined = welcomed and session.wait_for(
            REPLY_SECONDS, lambda: any(numeric_of(line) == "366" for line in peer.lines))
        if not results.check("peer", "registration and join", joined,
                             "received: %s" % tail(peer.lines)):
            return 1
        for kind in wanted:
            client = kinds[kind](session, options.port, folder)
            try:
                run_client(client, peer, session, options, results)
                if not client.exited():
                    client.quit()
                client.stop()
            except (OSError, RuntimeError) as failure:
                results.check(kind, "run", False, str(failure))
            finally:
                client.kill()
        peer.close()
    finally:
        if not options.keep:
            shutil.rmtree(folder, ignore_errors=True)
    print("modern clients: %d checks passed, %d failed" % (results.passed, results.failed))
    return 0 if results.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
