#!/usr/bin/env python3
"""A stand-in for TickTick's open API, over real HTTPS on 127.0.0.1 (see standin.py), under the
base path /open/v1 (the program's API base is https://127.0.0.1:<port>/open/v1).

Every request must carry "Authorization: Bearer <token>" with a token the stand-in knows; any
other gets 401. Requests it answers:

  GET  /open/v1/project                              → [{"id", "name", …}]
  GET  /open/v1/project/<projectId>/data             → {"project", "tasks": [{"id", "projectId",
                                                       "title", "status", …}], "columns": []},
                                                       every task of the project, completed ones
                                                       (status 2) included; 404 for another id
  POST /open/v1/project/<projectId>/task/<id>/complete  marks the task completed (status 2) → 200
                                                       with an empty body; 404 for another task

Failures (403, 429, 5xx, a delay for time-outs, garbage bodies, a dropped connection) come from
the failure plan of standin.py, e.g. {"path": "/open/v1/project", "status": 503}.

Extra control endpoints: GET /_standin/state gives the projects and tasks; POST /_standin/reset
also restores the data and the settings below.

Settings (POST /_standin/set): "tokens" the accepted tokens (["tt-valid-token"]); "projects" and
"tasks" replace the data (lists of objects shaped as above).
"""

import copy
import json
import os
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import standin  # noqa: E402

BASE = "/open/v1"
TOKENS = ["tt-valid-token"]
PROJECTS = [
    {"id": "inbox116", "name": "Inbox", "kind": "TASK"},
    {"id": "6226ff9877acee87727f6bca", "name": "Work", "color": "#F18181", "kind": "TASK"},
]
TASKS = [
    {"id": "63b7bebb91c0a5474805fcd4", "projectId": "6226ff9877acee87727f6bca",
     "title": "Write report", "status": 0, "priority": 1},
    {"id": "63b7bebb91c0a5474805fcd5", "projectId": "6226ff9877acee87727f6bca",
     "title": "File expenses", "status": 2, "priority": 0},
    {"id": "63b7bebb91c0a5474805fcd6", "projectId": "6226ff9877acee87727f6bca",
     "title": "Plan the sprint", "status": 0, "priority": 3},
    {"id": "63b7bebb91c0a5474805fcd7", "projectId": "inbox116", "title": "Call the bank",
     "status": 0},
]


class Data:
    def __init__(self):
        self.lock = threading.Lock()
        self.restore()

    def restore(self):
        self.projects = copy.deepcopy(PROJECTS)
        self.tasks = copy.deepcopy(TASKS)


class TickTick(standin.Handler):
    data = Data()

    def control(self, path, body):
        if path == standin.CONTROL + "/state" and self.command == "GET":
            with self.data.lock:
                return self.send(200, body={"projects": self.data.projects,
                                            "tasks": self.data.tasks})
        if path == standin.CONTROL + "/reset" and self.command == "POST":
            with self.data.lock:
                self.data.restore()
            with self.standin.lock:
                self.standin.settings.clear()
        if path == standin.CONTROL + "/set" and self.command == "POST":
            settings = json.loads(body or b"{}")
            with self.data.lock:
                if "projects" in settings:
                    self.data.projects = settings["projects"]
                if "tasks" in settings:
                    self.data.tasks = settings["tasks"]
        return super().control(path, body)

    def answer(self, method, path, body):
        path = path.split("?")[0]
        authorization = self.headers.get("Authorization") or ""
        tokens = self.standin.setting("tokens", TOKENS)
        if not authorization.startswith("Bearer ") or authorization[7:] not in tokens:
            return 401, {}, {"errorCode": "unauthorized", "errorMessage": "invalid token"}
        if not path.startswith(BASE + "/"):
            return 404, {}, {"errorCode": "not_found"}
        parts = path[len(BASE) + 1:].split("/")
        with self.data.lock:
            if method == "GET" and parts == ["project"]:
                return 200, {}, self.data.projects
            if method == "GET" and len(parts) == 3 and parts[0] == "project" \
                    and parts[2] == "data":
                project = next((p for p in self.data.projects if p["id"] == parts[1]), None)
                if project is None:
                    return 404, {}, {"errorCode": "project_not_found"}
                tasks = [t for t in self.data.tasks if t.get("projectId") == parts[1]]
                return 200, {}, {"project": project, "tasks": tasks, "columns": []}
            if method == "POST" and len(parts) == 5 and parts[0] == "project" \
                    and parts[2] == "task" and parts[4] == "complete":
                task = next((t for t in self.data.tasks
                             if t["id"] == parts[3] and t.get("projectId") == parts[1]), None)
                if task is None:
                    return 404, {}, {"errorCode": "task_not_found"}
                task["status"] = 2
                return 200, {}, b""
        return 404, {}, {"errorCode": "not_found"}


if __name__ == "__main__":
    standin.serve(TickTick, "A stand-in for TickTick's open API.")
