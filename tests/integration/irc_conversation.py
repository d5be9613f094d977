#!/usr/bin/python3
"""A conversation between two real IRC clients (Debian's python3-irc library) through
a running TavoServer.

Usage: irc_conversation.py [--modern] PORT

alice connects from 127.0.0.2 and bob from 127.0.0.3. Both register, join channels,
talk in a channel and privately, set and read a topic; bob changes his nick, alice
parts a channel and quits with a reason, and bob quits last. Every step checks what
the other client received. Prints "conversation ok" and exits 0 when every check
holds; prints the failed check and exits 1 otherwise. Every wait is bounded.

--modern: the server runs with ClientProfile=Modern and TextEncoding=UTF-8. The
clients decode UTF-8 (a line that is not UTF-8 fails the conversation), and alice
parts with a message of her own, which bob receives as the part message.
"""

import sys
import time

import irc.buffer
import irc.client
import irc.connection

STEP_TIMEOUT_SECONDS = 10.0
CHANNEL = "#tavo"
SIDE_CHANNEL = "#side"


class ConversationFailed(Exception):
    pass


class Cp932LineBuffer(irc.buffer.DecodingLineBuffer):
    """The server speaks code page 932."""

    encoding = "cp932"


class Utf8LineBuffer(irc.buffer.DecodingLineBuffer):
    """The server sends its own texts in UTF-8 (TextEncoding=UTF-8)."""

    encoding = "utf-8"


class Participant:
    """One client: its connection and every event it has received, in order."""

    def __init__(self, reactor, port, nick, address, buffer_class):
        self.nick = nick
        self.address = address
        self.events = []
        self.raw_lines = []
        self.connection = reactor.server()
        self.connection.buffer_class = buffer_class
        self.connection.connect(
            "127.0.0.1", port, nick, ircname="Real " + nick,
            connect_factory=irc.connection.Factory(bind_address=(address, 0)))

    def prefix_user_host(self):
        return self.nick + "!~" + self.nick + "@" + self.address


class Conversation:
    def __init__(self, port, modern):
        self.port = port
        self.modern = modern
        self.reactor = irc.client.IRC()
        self.participants = {}
        self.reactor.add_global_handler("all_events", self._record)

    def _record(self, connection, event):
        participant = self.participants.get(id(connection))
        if participant is None:
            return
        if event.type == "all_raw_messages":
            participant.raw_lines.append(event.arguments[0])
        else:
            participant.events.append(event)

    def join_server(self, nick, address):
        participant = Participant(self.reactor, self.port, nick, address,
                                  Utf8LineBuffer if self.modern else Cp932LineBuffer)
        self.participants[id(participant.connection)] = participant
        return participant

    def wait_for(self, participant, what, matches):
        """Processes input until `participant` has received an event that `matches`;
        removes and returns it. Fails after STEP_TIMEOUT_SECONDS."""
        deadline = time.monotonic() + STEP_TIMEOUT_SECONDS
        while True:
            for index, event in enumerate(participant.events):
                if matches(event):
                    del participant.events[index]
                    return event
            if time.monotonic() >= deadline:
                raise ConversationFailed("%s did not receive %s; its last lines: %r" % (
                    participant.nick, what, participant.raw_lines[-10:]))
            self.reactor.process_once(0.05)


def event_is(kind, source=None, target=None, arguments=None):
    def matches(event):
        return (event.type == kind
                and (source is None or irc.client.NickMask(event.source).nick == source)
                and (target is None or event.target == target)
                and (arguments is None or list(event.arguments) == arguments))
    return matches


def register(talk, nick, address):
    client = talk.join_server(nick, address)
    welcome = talk.wait_for(client, "001", event_is("welcome", target=nick))
    expected_welcome = ("ようこそ Internet Relay Chat Network へ "
                        + client.prefix_user_host())
    if welcome.arguments != [expected_welcome]:
        raise ConversationFailed("unexpected welcome %r" % welcome.arguments)
    talk.wait_for(client, "376", event_is("endofmotd", target=nick))
    return client


def join_both(talk, alice, bob, channel):
    alice.connection.join(channel)
    talk.wait_for(alice, "own JOIN " + channel, event_is("join", "alice", channel))
    bob.connection.join(channel)
    talk.wait_for(bob, "own JOIN " + channel, event_is("join", "bob", channel))
    talk.wait_for(alice, "bob's JOIN " + channel, event_is("join", "bob", channel))
    talk.wait_for(bob, "names of " + channel,
                  event_is("namreply", target="bob", arguments=["=", channel, "@alice bob"]))


def talk_in_channel_and_privately(talk, alice, bob):
    alice.connection.privmsg(CHANNEL, "hello bob")
    talk.wait_for(bob, "alice's channel message",
                  event_is("pubmsg", "alice", CHANNEL, ["hello bob"]))
    bob.connection.privmsg(CHANNEL, "hi alice")
    talk.wait_for(alice, "bob's channel message",
                  event_is("pubmsg", "bob", CHANNEL, ["hi alice"]))
    bob.connection.privmsg("alice", "just for you")
    talk.wait_for(alice, "bob's private message",
                  event_is("privmsg", "bob", "alice", ["just for you"]))


def set_and_read_topic(talk, alice, bob):
    alice.connection.topic(CHANNEL, "plans for today")
    talk.wait_for(bob, "the new topic", event_is("topic", "alice", CHANNEL, ["plans for today"]))
    bob.connection.topic(CHANNEL)
    talk.wait_for(bob, "332 with the topic",
                  event_is("currenttopic", target="bob", arguments=[CHANNEL, "plans for today"]))


def change_nick(talk, alice, bob):
    bob.connection.nick("robert")
    talk.wait_for(alice, "bob's nick change", event_is("nick", "bob", "robert"))
    talk.wait_for(bob, "own nick change", event_is("nick", "bob", "robert"))
    bob.nick = "robert"
    alice.connection.privmsg("Robert", "nice name")
    talk.wait_for(bob, "a message to the new nick",
                  event_is("privmsg", "alice", "robert", ["nice name"]))


def part_and_quit(talk, alice, bob):
    if talk.modern:
        # The library sends a part message as it is given: the colon makes it one parameter.
        alice.connection.part([SIDE_CHANNEL], ":off to bed")
        talk.wait_for(bob, "alice's PART with her message",
                      event_is("part", "alice", SIDE_CHANNEL, ["off to bed"]))
    else:
        alice.connection.part([SIDE_CHANNEL])
        talk.wait_for(bob, "alice's PART", event_is("part", "alice", SIDE_CHANNEL, ["alice"]))
    alice.connection.quit("bye now")
    talk.wait_for(bob, "alice's QUIT", event_is("quit", "alice", arguments=["bye now"]))
    quit_cleanly(talk, alice, "bye now")
    bob.connection.quit("done")
    quit_cleanly(talk, bob, "done")


def quit_cleanly(talk, client, reason):
    closing = "ClosingLink: %s[~%s@%s] %s" % (client.nick, client.connection.username,
                                              client.address, reason)
    talk.wait_for(client, "the closing error", event_is("error", target=closing))
    talk.wait_for(client, "the end of the connection", event_is("disconnect"))


def main():
    arguments = sys.argv[1:]
    modern = arguments[:1] == ["--modern"]
    if modern:
        arguments = arguments[1:]
    if len(arguments) != 1:
        print("usage: irc_conversation.py [--modern] PORT", file=sys.stderr)
        return 2
    talk = Conversation(int(arguments[0]), modern)
    try:
        alice = register(talk, "alice", "127.0.0.2")
        bob = register(talk, "bob", "127.0.0.3")
        join_both(talk, alice, bob, CHANNEL)
        join_both(talk, alice, bob, SIDE_CHANNEL)
        talk_in_channel_and_privately(talk, alice, bob)
        set_and_read_topic(talk, alice, bob)
        change_nick(talk, alice, bob)
        part_and_quit(talk, alice, bob)
    except (ConversationFailed, irc.client.ServerConnectionError) as failure:
        print("conversation failed: %s" % failure, file=sys.stderr)
        return 1
    except UnicodeDecodeError as failure:
        print("conversation failed: a received line does not decode: %s" % failure,
              file=sys.stderr)
        return 1
    print("conversation ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
