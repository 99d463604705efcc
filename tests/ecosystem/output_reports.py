"""Readers of what the clients of a real compositor print: the head listing
of `ridaviduvo outputs` and wlr-randr, and libwayland's WAYLAND_DEBUG=client
trace of the tool."""

import re


class Failure(Exception):
    pass


HEAD_LINE = re.compile(r'^(\S+)(?: "(.*)")?$')
PROP_LINE = re.compile(r"^  ([A-Za-z][A-Za-z ]*): ?(.*)$")


def mode_line_re(decimals):
    return re.compile(r"^    (\d+)x(\d+) px(?:, (\d+\.\d{%d}) Hz)?(?: \(([a-z, ]+)\))?$" % decimals)


def parse_text(text, decimals, who):
    """Parses the head listing that both wlr-randr and `ridaviduvo outputs`
    print into {name: {"description", "props": {key: value}, "modes": [...]}}.
    A mode is (width, height, refresh in mHz (0 when none is printed),
    frozenset of marks)."""
    mode_re = mode_line_re(decimals)
    heads = {}
    head = None
    in_modes = False
    for number, line in enumerate(text.splitlines(), 1):
        where = f"{who} line {number}: {line!r}"
        if line == "":
            head, in_modes = None, False
            continue
        if not line.startswith(" "):
            m = HEAD_LINE.match(line)
            if not m:
                raise Failure(f"{where}: not a head line")
            if m.group(1) in heads:
                raise Failure(f"{where}: head {m.group(1)} listed twice")
            head = heads[m.group(1)] = {"description": m.group(2), "props": {}, "modes": []}
            in_modes = False
            continue
        if head is None:
            raise Failure(f"{where}: indented line outside a head")
        if line.startswith("    "):
            if not in_modes:
                raise Failure(f"{where}: mode line outside Modes:")
            if line == "    (none)":
                continue
            m = mode_re.match(line)
            if not m:
                raise Failure(f"{where}: not a mode line with {decimals} decimals")
            marks = frozenset(s.strip() for s in m.group(4).split(",")) if m.group(4) else frozenset()
            if not marks <= {"current", "preferred"}:
                raise Failure(f"{where}: unknown mode marks {sorted(marks)}")
            mhz = round(float(m.group(3)) * 1000) if m.group(3) else 0
            head["modes"].append((int(m.group(1)), int(m.group(2)), mhz, marks))
            continue
        m = PROP_LINE.match(line)
        if not m:
            raise Failure(f"{where}: not a property line")
        key, value = m.group(1), m.group(2)
        if key in head["props"]:
            raise Failure(f"{where}: {key} given twice")
        head["props"][key] = value
        in_modes = key == "Modes"
    return heads


# One message of a WAYLAND_DEBUG=client trace: "[  1234.567]  -> wl_registry@2.bind(...)"
# for a request, the same without the arrow for an event. libwayland 1.23
# names the event queue in braces after the time and writes objects as
# "wl_registry#2".
TRACE_LINE = re.compile(r"^\[[\d. ]+\]\s+(?:\{[^}]*\}\s+)?(-> )?(\w+)[@#](\d+)\.(\w+)\((.*)\)\s*$")
NEW_ID = re.compile(r"new id (?:\[?(\w+)\]?)[@#](\d+)")
GLOBAL_ARGS = re.compile(r'^(\d+), "([^"]*)", (\d+)$')
BIND_ARGS = re.compile(r'^(\d+), "([^"]*)", (\d+), new id')


class Trace:
    """The messages of a WAYLAND_DEBUG=client trace, in order: (request?,
    interface, id, message, args)."""

    def __init__(self, text):
        self.messages = []
        for line in text.splitlines():
            m = TRACE_LINE.match(line)
            if m:
                self.messages.append((bool(m.group(1)), m.group(2), int(m.group(3)), m.group(4), m.group(5)))

    def advertised(self):
        """interface -> highest version the registry advertised."""
        found = {}
        for request, interface, _, message, args in self.messages:
            m = GLOBAL_ARGS.match(args)
            if not request and interface == "wl_registry" and message == "global" and m:
                found[m.group(2)] = max(found.get(m.group(2), 0), int(m.group(3)))
        return found

    def bound(self):
        """interface -> the versions the client bound it at, in order."""
        found = {}
        for request, interface, _, message, args in self.messages:
            m = BIND_ARGS.match(args)
            if request and interface == "wl_registry" and message == "bind" and m:
                found.setdefault(m.group(2), []).append(int(m.group(3)))
        return found

    def created_by_events(self, interface):
        """The ids of the objects of `interface` that events created, in order."""
        ids = []
        for request, _, _, _, args in self.messages:
            if not request:
                ids += [int(i) for kind, i in NEW_ID.findall(args) if kind == interface]
        return ids

    def requests_on(self, interface, message):
        """The ids of the objects of `interface` that got `message`, in order."""
        return [i for request, iface, i, name, _ in self.messages if request and iface == interface and name == message]

    def last_index(self, interface, object_id, request=None):
        """Where the last message to or from the object stands (-1: none)."""
        last = -1
        for index, (is_request, iface, i, _, _) in enumerate(self.messages):
            if iface == interface and i == object_id and (request is None or is_request == request):
                last = index
        return last
