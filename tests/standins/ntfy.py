#!/usr/bin/env python3
"""A stand-in ntfy server: accepts the JSON publish (a POST of {"topic", "title", "message",
"tags", "priority"} to the server's root address) and answers as ntfy does, with the message it
made. A topic is 1 to 64 letters, digits, "-" or "_". What it was sent and the failure plan are
those of standin.py: a 429 with or without Retry-After, a 5xx, a dropped connection or a delay
are planned through /_standin/plan.

Settings (/_standin/set): none of its own.
"""

import json
import os
import re
import secrets
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import standin  # noqa: E402

TOPIC = re.compile(r"^[-_A-Za-z0-9]{1,64}$")


def failure(status, code, text):
    return status, {}, {"code": code, "http": status, "error": text}


class Ntfy(standin.Handler):
    def answer(self, method, path, body):
        if path.split("?")[0] != "/":
            return failure(404, 40401, "page not found")
        if method != "POST" and method != "PUT":
            return failure(405, 40501, "method not allowed")
        try:
            message = json.loads(body or b"")
        except ValueError:
            return failure(400, 40024, "invalid request: request body must be message JSON")
        if not isinstance(message, dict):
            return failure(400, 40024, "invalid request: request body must be message JSON")
        topic = message.get("topic")
        if not isinstance(topic, str) or not TOPIC.match(topic):
            return failure(400, 40009, "invalid request: topic invalid")
        priority = message.get("priority", 3)
        if not isinstance(priority, int) or isinstance(priority, bool) or not 1 <= priority <= 5:
            return failure(400, 40007, "invalid priority")
        tags = message.get("tags", [])
        if not isinstance(tags, list) or not all(isinstance(t, str) for t in tags):
            return failure(400, 40024, "invalid request: tags must be strings")
        reply = {
            "id": secrets.token_hex(6),
            "time": int(time.time()),
            "expires": int(time.time()) + 43200,
            "event": "message",
            "topic": topic,
            "title": message.get("title", ""),
            "message": message.get("message", ""),
            "tags": tags,
            "priority": priority,
        }
        return 200, {}, reply


if __name__ == "__main__":
    standin.serve(Ntfy, "Stand-in ntfy server over HTTPS on 127.0.0.1")
