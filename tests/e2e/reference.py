"""The expected output of an end-to-end case, made from its scenario by a
reference of its own, for the cases too large to write out: the mock
compositor's generated windows, heads and scene nodes (worked out again here
from tools/mock-compositor's description of them) and explicitly listed
windows become plain records, and each command's rendering is written from
the manual page's description of its output, with Python's own UTF-8
decoder for the repair of ill-formed text. Nothing here runs the tool's
renderers.

  expected_stdout(scenario, args) -> bytes
"""

import codecs
from decimal import ROUND_HALF_UP, Decimal

MAX_TEXT = 65535  # longer texts are not kept: the field keeps what it had


class Unsupported(Exception):
    pass


def text_value(value):
    """A scenario's text value: a string, {"hex": ...} or {"repeat": ..., "count": N}."""
    if isinstance(value, str):
        return value.encode("utf-8")
    if isinstance(value, dict) and "hex" in value:
        return bytes.fromhex(value["hex"])
    if isinstance(value, dict) and "repeat" in value:
        return text_value(value["repeat"]) * value["count"]
    raise Unsupported(f"text value {value!r}")


# ------------------------------------------------------------ text forms

def utf8_at(data, i):
    """(length, well formed) of the UTF-8 sequence at data[i], its maximal
    subpart when ill-formed: the longest prefix a well-formed sequence could
    still start with."""
    lead = data[i]
    if lead < 0x80:
        return 1, True
    length = 2 if 0xC2 <= lead <= 0xDF else 3 if 0xE0 <= lead <= 0xEF else 4 if 0xF0 <= lead <= 0xF4 else 1
    try:
        data[i:i + length].decode("utf-8")
        return length, len(data) - i >= length
    except UnicodeDecodeError:
        pass
    for k in range(min(length, len(data) - i), 0, -1):
        try:
            codecs.getincrementaldecoder("utf-8")().decode(data[i:i + k], final=False)
            return k, False
        except UnicodeDecodeError:
            continue
    return 1, False


def is_control(code):
    return code < 0x20 or code == 0x7F


def single_line(data):
    """Control bytes and well-formed C1 controls become one space; every
    other byte passes, ill-formed ones included."""
    out = bytearray()
    i = 0
    while i < len(data):
        byte = data[i]
        if byte < 0x80:
            out += b" " if is_control(byte) else bytes([byte])
            i += 1
            continue
        length, well_formed = utf8_at(data, i)
        if not well_formed:
            out.append(byte)
            i += 1
        elif length == 2 and byte == 0xC2 and data[i + 1] <= 0x9F:
            out += b" "
            i += 2
        else:
            out += data[i:i + length]
            i += length
    return bytes(out)


def single_line_utf8(data):
    """As single_line, and each ill-formed sequence becomes U+FFFD."""
    text = data.decode("utf-8", "replace")
    return "".join(" " if is_control(ord(c)) or 0x80 <= ord(c) <= 0x9F else c for c in text).encode("utf-8")


JSON_ESCAPES = {'"': '\\"', "\\": "\\\\", "\n": "\\n", "\r": "\\r", "\t": "\\t"}


def json_string(data):
    text = data.decode("utf-8", "replace")
    return ('"' + "".join(JSON_ESCAPES.get(c) or (f"\\u{ord(c):04x}" if is_control(ord(c)) else c)
                          for c in text) + '"').encode("utf-8")


def json_text(data):
    return b"null" if data is None else json_string(data)


def dot_label(data):
    text = data.decode("utf-8", "replace")
    pieces = {"\n": "\\n", "\r": "\\n", '"': '\\"', "\\": "\\\\"}
    return "".join(pieces.get(c) or ("?" if ord(c) < 0x20 else c) for c in text).encode("utf-8")


def geometry(x, y, width, height):
    return f"{x},{y} {width}x{height}".encode()


def fixed6(value):
    return str(Decimal(value).quantize(Decimal("0.000001"), rounding=ROUND_HALF_UP)).encode()


# ------------------------------------------------------------------ windows

APPS = [
    ("org.gnome.Terminal", False, "user@host: ~/src/project-{}"),
    ("firefox", False, "Release notes {} \u2014 Mozilla Firefox"),
    ("org.kde.dolphin", False, "Documents {} \u2014 Dolphin"),
    ("Steam", True, "Steam ({})"),
    ("code", False, "main.cpp {} - Visual Studio Code"),
    ("Gimp-2.10", True, "[Untitled]-{}.0 (RGB color 8-bit gamma integer) \u2013 GIMP"),
    ("mpv", False, "Caf\u00e9 video {}.mkv - mpv"),
    ("libreoffice-writer", True, "Report {}.odt - LibreOffice Writer"),
]
STATES = [0x20, 0x22, 0x20, 0x28, 0x10, 0x24, 0x00]
LAYOUTS = ["tile", "monocle", "columns", "tile"]
STATE_WORDS = [(0x01, "focused"), (0x02, "floating"), (0x04, "fullscreen"), (0x08, "maximized"),
               (0x10, "minimized"), (0x20, "visible")]


def generated_window(number):
    app_id, xwayland, title = APPS[number % len(APPS)]
    state = 0x21 if number == 0 else STATES[number % len(STATES)]
    rule = 0 if number % 4 == 0 else 1 + number % 6
    handle = [["identifier", f"{number * 0x9E3779B97F4A7C15 % 2**64:016x}"], ["title", title.format(number)],
              ["app_id", app_id], ["done"]]
    info = [["backend", 1 if xwayland else 0], ["class" if xwayland else "app_id", app_id],
            ["output", "DP-2" if number % 3 == 2 else "eDP-1"], ["workspace", 1 + number % 5],
            ["geometry", number * 37 % 1920, number * 53 % 1080, 400 + number * 13 % 1200, 300 + number * 7 % 800],
            ["state", state], ["layout", "float" if state & 0x02 else LAYOUTS[number % len(LAYOUTS)]],
            ["matched_rule", rule]]
    if rule:
        info.append(["rule_matcher", number % 3, app_id])
    info.append(["done"])
    return {"handle": handle, "info": info}


def window_record(window):
    """The record a window's events leave, or None when it is not listed."""
    record = {"identifier": None, "title": None, "toplevel_app_id": None, "app_id": None, "class": None,
              "output": None, "layout": None, "backend": 0, "workspace": 0, "geometry": (0, 0, 0, 0),
              "state": 0, "matched_rule": 0}
    text_fields = {"identifier": "identifier", "title": "title", "app_id": "toplevel_app_id"}
    asked = False
    for name, *values in window.get("handle", []):
        if name == "done":
            asked = True
        elif name in text_fields:
            keep(record, text_fields[name], values[0])
        else:
            raise Unsupported(f"handle event {name}")
    if not asked:
        return None
    for name, *values in window.get("info", []):
        if name == "done":
            return record
        if name in ("app_id", "class", "output", "layout"):
            keep(record, name, values[0])
        elif name == "geometry":
            record["geometry"] = tuple(values)
        elif name in ("backend", "workspace", "state", "matched_rule"):
            record[name] = values[0]
        elif name != "rule_matcher":
            raise Unsupported(f"info event {name}")
    return None


def keep(record, field, value):
    data = text_value(value)
    if len(data) <= MAX_TEXT:
        record[field] = data


def windows_of(scenario):
    unknown = set(scenario) - {"globals", "windows", "windows_generate"}
    if unknown:
        raise Unsupported(f"scenario members {sorted(unknown)}")
    windows = list(scenario.get("windows", []))
    count = scenario.get("windows_generate", {}).get("count", 0)
    windows += [generated_window(len(windows) + i) for i in range(count)]
    return [r for r in map(window_record, windows) if r is not None]


def backend_word(backend):
    return {0: b"xdg", 1: b"xwayland"}.get(backend, b"unknown")


def state_words(state):
    return [word for bit, word in STATE_WORDS if state & bit]


def column(data):
    return b"" if data is None else single_line(data)


def windows_table(records):
    lines = [b"ID\tBACKEND\tAPP_ID/CLASS\tTITLE\tOUTPUT:WORKSPACE\tGEOMETRY\tLAYOUT\tSTATE\n"]
    for r in records:
        application = next((r[f] for f in ("app_id", "class", "toplevel_app_id") if r[f] is not None), None)
        lines.append(b"\t".join([column(r["identifier"]), backend_word(r["backend"]), column(application),
                                 column(r["title"]), column(r["output"]) + b":" + str(r["workspace"]).encode(),
                                 geometry(*r["geometry"]), column(r["layout"]),
                                 ",".join(state_words(r["state"])).encode()]) + b"\n")
    return b"".join(lines)


def windows_json(records):
    objects = []
    for r in records:
        x, y, width, height = r["geometry"]
        objects.append(
            b'  {"id":' + json_text(r["identifier"]) + b',"backend":' + json_string(backend_word(r["backend"])) +
            b',"app_id":' + json_text(r["app_id"]) + b',"class":' + json_text(r["class"]) +
            b',"title":' + json_text(r["title"]) + b',"output":' + json_text(r["output"]) +
            f',"workspace":{r["workspace"]},"geometry":{{"x":{x},"y":{y},"width":{width},"height":{height}}}'.encode() +
            b',"layout":' + json_text(r["layout"]) + f',"matched_rule":{r["matched_rule"]},"states":['.encode() +
            b",".join(json_string(w.encode()) for w in state_words(r["state"])) + b"]}")
    return b"[\n" + b",\n".join(objects) + b"\n]\n"


def rule_stubs(records):
    out = []
    for r in records:
        def first_present(*fields):
            return next((r[f] for f in fields if r[f] is not None), b"")
        line = b"# " + (single_line_utf8(r["identifier"]) if r["identifier"] is not None else b"unknown")
        line += " \u2014 ".encode() + (single_line_utf8(r["title"]) if r["title"] is not None else b"")
        if r["matched_rule"]:
            line += f" (currently matches rule {r['matched_rule']})".encode()
        line += b"\n[[window]]\n"
        if r["backend"] == 1:
            line += b"class = " + json_string(first_present("class", "toplevel_app_id"))
        else:
            line += b"app_id = " + json_string(first_present("app_id", "toplevel_app_id"))
        out.append(line + b"\n# title = " + json_string(r["title"] or b"") + b"\n\n")
    return b"".join(out)


# -------------------------------------------------------------------- scene

def generated_nodes(first_id, count, fanout):
    """Node b of a complete tree numbered breadth first has children
    fanout*b+1 .. fanout*b+fanout, emitted depth first."""
    nodes, pending = [], [0] if count else []
    while pending:
        b = pending.pop()
        first_child = fanout * b + 1
        inner = first_child < count
        nodes.append({"id": first_id + b, "parent": 0 if b == 0 else first_id + (b - 1) // fanout,
                      "name": f"node-{first_id + b}".encode(), "kind": 0 if inner else (1 if b % 3 == 0 else 2),
                      "enabled": b % 97 != 96, "geometry": (b * 17 % 2000, b * 29 % 1200,
                                                           0 if inner else 16 + b * 7 % 512,
                                                           0 if inner else 16 + b * 11 % 512)})
        pending += reversed(range(first_child, min(first_child + fanout, count)))
    return nodes


def nodes_of(scenario):
    scene = scenario.get("scene", {})
    if set(scene) - {"nodes_generate"} or set(scenario) - {"globals", "scene"}:
        raise Unsupported("a scene other than a generated one")
    generate = scene.get("nodes_generate", {})
    return generated_nodes(1, generate.get("count", 0), generate.get("fanout", 4))


KIND_WORDS = {0: "tree", 1: "rect", 2: "buffer"}
KIND_FILLS = {0: "#93c5fd", 1: "#fcd34d", 2: "#86efac"}


def scene_tree(nodes):
    first_at = {}
    for position, node in enumerate(nodes):
        first_at.setdefault(node["id"], position)
    later_sibling = [False] * len(nodes)
    seen = set()
    for position in reversed(range(len(nodes))):
        later_sibling[position] = nodes[position]["parent"] in seen
        seen.add(nodes[position]["parent"])
    out = []
    for position, node in enumerate(nodes):
        chain = [position]  # the node, then each one's parent
        while nodes[chain[-1]]["parent"] and nodes[chain[-1]]["parent"] in first_at:
            chain.append(first_at[nodes[chain[-1]]["parent"]])
            if len(chain) > 100:
                raise Unsupported("a chain this deep")
        ancestors = chain[::-1]  # from the top
        prefix = "".join("\u2502  " if later_sibling[a] else "   " for a in ancestors[1:-1])
        if len(ancestors) > 1:
            prefix += "\u251c\u2500 " if later_sibling[position] else "\u2514\u2500 "
        label = single_line(node["name"]) + f" [{KIND_WORDS.get(node['kind'], 'unknown')}]".encode()
        if not node["enabled"]:
            label += b" disabled"
        if any(node["geometry"]):
            label += b" (" + geometry(*node["geometry"]) + b")"
        out.append(prefix.encode() + label + b"\n")
    return b"".join(out)


def scene_dot(nodes):
    out = [b'digraph zadozav_scene {\n  graph [rankdir=LR, bgcolor="#111827", fontname="monospace"];\n'
           b'  node [shape=box, style="rounded,filled", fontname="monospace", color="#475569", '
           b'fontcolor="#0f172a"];\n  edge [color="#64748b"];\n']
    for node in nodes:
        line = f"  n{node['id']} [label=\"".encode() + dot_label(node["name"])
        line += f"\\n{KIND_WORDS.get(node['kind'], 'unknown')}".encode()
        if not node["enabled"]:
            line += " \u00b7 disabled".encode()
        if any(node["geometry"]):
            line += b"\\n" + geometry(*node["geometry"])
        if node["enabled"]:
            line += f'", fillcolor="{KIND_FILLS.get(node["kind"], "#e5e7eb")}"];\n'.encode()
        else:
            line += b'", fillcolor="#94a3b8", style="rounded,filled,dashed"];\n'
        out.append(line)
    out += [f"  n{node['parent']} -> n{node['id']};\n".encode() for node in nodes if node["parent"]]
    return b"".join(out) + b"}\n"


# ------------------------------------------------------------------ outputs

MODE_SIZES = [(3840, 2160), (2560, 1440), (1920, 1200), (1920, 1080), (1680, 1050), (1280, 1024), (1280, 720),
              (1024, 768), (800, 600)]
REFRESH_RATES = [60000, 59940, 50000, 144000, 30000, 74973]
SCALES = [1.0, 1.25, 1.5, 2.0]
TRANSFORMS = ["normal", "90", "180", "270", "flipped", "flipped-90", "flipped-180", "flipped-270"]


def generated_head(number, mode_count):
    enabled = number % 4 != 3
    modes = [{"size": MODE_SIZES[(number + m) % len(MODE_SIZES)],
              "refresh": REFRESH_RATES[(number + 2 * m) % len(REFRESH_RATES)], "preferred": m == 0}
             for m in range(mode_count)]
    current = enabled and mode_count > 0
    return {"name": f"GEN-{number + 1}", "description": f"Mock Displays MD-{number + 1} (generated)",
            "make": "Mock Displays", "model": f"MD-{number + 1}", "serial": f"SN{number + 1:06d}",
            "physical_size": (300 + number * 40 % 300, 170 + number * 30 % 200), "enabled": enabled,
            "modes": modes, "current": 0 if current else None,
            "position": ((number % 1000) * 1920 if current else 0, 0),
            "transform": (1 if number % 5 == 4 else 0) if current else 0,
            "scale": SCALES[number % len(SCALES)] if current else 1.0, "adaptive_sync": number % 2 == 1}


def heads_of(scenario):
    manager = scenario.get("output_manager", {})
    if set(manager) - {"heads_generate"} or set(scenario) - {"globals", "output_manager"}:
        raise Unsupported("output heads other than generated ones")
    generate = manager.get("heads_generate", {})
    return [generated_head(n, generate.get("modes", 3)) for n in range(generate.get("count", 0))]


def json_bool(value):
    return b"true" if value else b"false"


def outputs_json(heads):
    objects = []
    for head in heads:
        modes = b",".join(
            f'{{"width":{m["size"][0]},"height":{m["size"][1]},"refresh":'.encode() +
            fixed6(Decimal(m["refresh"]) / 1000) + b',"preferred":' + json_bool(m["preferred"]) +
            b',"current":' + json_bool(head["current"] == i) + b"}" for i, m in enumerate(head["modes"]))
        width, height = head["physical_size"]
        x, y = head["position"]
        objects.append(
            b'  {"name":' + json_string(head["name"].encode()) +
            b',"description":' + json_string(head["description"].encode()) +
            b',"make":' + json_string(head["make"].encode()) + b',"model":' + json_string(head["model"].encode()) +
            b',"serial":' + json_string(head["serial"].encode()) +
            f',"physical_size":{{"width":{width},"height":{height}}},"enabled":'.encode() +
            json_bool(head["enabled"]) + b',"modes":[' + modes + f'],"position":{{"x":{x},"y":{y}}},'.encode() +
            b'"transform":' + json_string(TRANSFORMS[head["transform"]].encode()) + b',"scale":' +
            fixed6(head["scale"]) + b',"adaptive_sync":' + json_bool(head["adaptive_sync"]) + b"}")
    return b"[\n" + b",\n".join(objects) + b"\n]\n"


RENDERINGS = {
    ("windows",): lambda s: windows_table(windows_of(s)),
    ("windows", "--json"): lambda s: windows_json(windows_of(s)),
    ("inspect", "--rule"): lambda s: rule_stubs(windows_of(s)),
    ("scene",): lambda s: scene_tree(nodes_of(s)),
    ("scene", "--dot"): lambda s: scene_dot(nodes_of(s)),
    ("outputs", "--json"): lambda s: outputs_json(heads_of(s)),
}


def expected_stdout(scenario, args):
    rendering = RENDERINGS.get(tuple(args))
    if rendering is None:
        raise Unsupported(f"the command {' '.join(args)}")
    return rendering(scenario)
