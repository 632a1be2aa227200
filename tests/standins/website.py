#!/usr/bin/env python3
"""A stand-in for the Tarnwhistle website, over real HTTPS on 127.0.0.1 (see standin.py).

Requests it answers, as the program makes them (JSON bodies; authenticated ones carry
"Authorization: Bearer <token>" and get 401 {"error", "code": "unauthorized"} without a valid one):

  POST   /v1/devices/register  {"platform","name","appVersion","ledgerID"} → {"accountID",
                               "deviceID","token"}; 409 {"error","code": "ledger_in_use"} while
                               another live device holds the ledger
  DELETE /v1/devices/<id>      removes a device of the caller's account (itself included) → 204
  GET    /v1/devices           → {"devices": [{"id","platform","name","pushEnabled","appVersion",
                               "createdAt","lastSeenAt"}]}
  POST   /v1/pairing-codes     {} → {"code","qr","expiresIn"}
  PUT    /v1/history           {"days": [{"date","seconds","sessions"}]} (at most 500) → {"accepted"}
  POST   /v1/events            one focus event {"id","type","mode","startedAt","endsAt",
                               "durationSec","sentAt"} → 202 {}
  POST   /v1/web/claim         {"purpose"} → {"url": "https://<this host>/claim/<token>?purpose=…"}
  POST   /v1/pairing/redeem    {"code","platform","name","pushEnabled"} what a phone sends to join
                               the account of a pairing code → {"deviceID","token"}
  GET    /claim/<token>        a page saying the device was claimed (for trying by hand)

Extra control endpoint: GET /_standin/state gives the accounts, devices, stored history by ledger,
and the events received. POST /_standin/reset also forgets the accounts and the settings.

Settings (POST /_standin/set): "dateOffset" seconds added to the Date header of every answer;
"date" a fixed Date header text instead; "pairingExpiresIn" (600); "claimURL" a fixed link for
/v1/web/claim; "maxBatch" (500).

The accounts, devices and history are kept in website-state.json in the stand-in's folder, so a
stand-in stopped and started again (the network cut and back) still knows the devices; what it was
sent is forgotten.
"""

import argparse
import email.utils
import json
import os
import re
import secrets
import sys
import threading
import time
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import standin  # noqa: E402

EVENT_TYPES = {"focus_started", "focus_paused", "focus_resumed", "focus_completed",
               "break_started", "break_completed", "session_reset"}
TIMESTAMP = re.compile(r"^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}Z$")
UUID_TEXT = re.compile(r"^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-"
                       r"[0-9A-Fa-f]{12}$")


def now_text():
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime())


def failure(status, message, code):
    return status, {}, {"error": message, "code": code}


class Website:
    """The accounts and what they hold; every change is written to the state file."""

    def __init__(self, path):
        self.lock = threading.Lock()
        self.path = path
        self.clear()
        if path and os.path.exists(path):
            try:
                with open(path, encoding="utf-8") as f:
                    saved = json.load(f)
                self.devices = saved["devices"]
                self.history = saved["history"]
                self.pairing = saved.get("pairing", {})
            except (OSError, ValueError, KeyError):
                self.clear()

    def clear(self):
        self.devices = {}   # id → {id, account, platform, name, pushEnabled, appVersion, token,
                            #       ledger, createdAt, lastSeenAt}
        self.history = {}   # ledger → {date → {seconds, sessions}}
        self.pairing = {}   # code → {account, expires}
        self.events = []
        self.claims = []

    def save(self):
        if not self.path:
            return
        temporary = self.path + ".tmp"
        with open(temporary, "w", encoding="utf-8") as f:
            json.dump({"devices": self.devices, "history": self.history,
                       "pairing": self.pairing}, f)
        os.replace(temporary, self.path)

    def snapshot(self):
        return {"devices": list(self.devices.values()), "history": self.history,
                "events": self.events, "claims": self.claims,
                "pairing": [dict(code=c, **p) for c, p in self.pairing.items()]}

    def device_for(self, headers):
        value = headers.get("Authorization") or ""
        if not value.startswith("Bearer "):
            return None
        token = value[len("Bearer "):]
        for device in self.devices.values():
            if secrets.compare_digest(device["token"], token):
                device["lastSeenAt"] = now_text()
                return device
        return None

    def add_device(self, account, platform, name, app_version, ledger=None, push=False):
        device = {"id": "dev_" + secrets.token_hex(8), "account": account, "platform": platform,
                  "name": name, "pushEnabled": push, "appVersion": app_version,
                  "token": secrets.token_urlsafe(32), "ledger": ledger,
                  "createdAt": now_text(), "lastSeenAt": now_text()}
        self.devices[device["id"]] = device
        return device


class WebsiteHandler(standin.Handler):
    website = None  # set in main()

    def date_time_string(self, timestamp=None):
        # Read without the stand-in's lock: the control endpoints answer while holding it.
        settings = self.standin.settings
        fixed = settings.get("date")
        if fixed:
            return fixed
        offset = float(settings.get("dateOffset", 0) or 0)
        return email.utils.formatdate((timestamp or time.time()) + offset, usegmt=True)

    def control(self, path, body):
        if path == standin.CONTROL + "/state" and self.command == "GET":
            with self.website.lock:
                return self.send(200, body=self.website.snapshot())
        if path == standin.CONTROL + "/reset" and self.command == "POST":
            with self.website.lock:
                self.website.clear()
                self.website.save()
            with self.standin.lock:
                self.standin.settings.clear()
        return super().control(path, body)

    def answer(self, method, path, body):
        path = path.split("?")[0]
        if method == "GET" and path.startswith("/claim/"):
            return 200, {"Content-Type": "text/html"}, (
                "<!doctype html><title>Tarnwhistle</title><p>This computer is now part of your "
                "account. (Tarnwhistle test website)</p>")
        if not path.startswith("/v1/"):
            return failure(404, "Not found.", "not_found")
        try:
            request = json.loads(body) if body else None
        except ValueError:
            return failure(400, "The request body is not JSON.", "bad_request")
        site = self.website
        with site.lock:
            try:
                result = self.route(site, method, path, request)
            finally:
                site.save()
        return result

    def route(self, site, method, path, request):
        if method == "POST" and path == "/v1/devices/register":
            return self.register(site, request)
        if method == "POST" and path == "/v1/pairing/redeem":
            return self.redeem(site, request)
        device = site.device_for(self.headers)
        if device is None:
            return failure(401, "Sign in again.", "unauthorized")
        if method == "GET" and path == "/v1/devices":
            return 200, {}, {"devices": [
                {k: d[k] for k in ("id", "platform", "name", "pushEnabled", "appVersion",
                                   "createdAt", "lastSeenAt")}
                for d in site.devices.values() if d["account"] == device["account"]]}
        if method == "DELETE" and path.startswith("/v1/devices/"):
            target = site.devices.get(path[len("/v1/devices/"):])
            if target is None or target["account"] != device["account"]:
                return failure(404, "No such device.", "not_found")
            del site.devices[target["id"]]
            return 204, {}, b""
        if method == "POST" and path == "/v1/pairing-codes":
            if request != {}:
                return failure(400, "Expected an empty object.", "bad_request")
            code = "".join(secrets.choice("ABCDEFGHJKMNPQRSTVWXYZ23456789") for _ in range(8))
            expires_in = int(self.standin.setting("pairingExpiresIn", 600))
            site.pairing[code] = {"account": device["account"], "expires": time.time() + expires_in}
            host = self.headers.get("Host") or "127.0.0.1"
            return 200, {}, {"code": code, "qr": "https://%s/pair?code=%s" % (host, code),
                             "expiresIn": expires_in}
        if method == "PUT" and path == "/v1/history":
            return self.history(site, device, request)
        if method == "POST" and path == "/v1/events":
            problem = self.event_problem(request)
            if problem:
                return failure(400, problem, "bad_event")
            site.events.append({"device": device["id"], "event": request})
            return 202, {}, {}
        if method == "POST" and path == "/v1/web/claim":
            if not isinstance(request, dict) or not isinstance(request.get("purpose"), str):
                return failure(400, "Expected a purpose.", "bad_request")
            site.claims.append({"device": device["id"], "purpose": request["purpose"]})
            url = self.standin.setting("claimURL") or "https://%s/claim/%s?purpose=%s" % (
                self.headers.get("Host") or "127.0.0.1", secrets.token_urlsafe(16),
                request["purpose"])
            return 200, {}, {"url": url}
        return failure(404, "Not found.", "not_found")

    def register(self, site, request):
        fields = ("platform", "name", "appVersion", "ledgerID")
        if not isinstance(request, dict) or not all(isinstance(request.get(k), str)
                                                    for k in fields):
            return failure(400, "Expected platform, name, appVersion and ledgerID.", "bad_request")
        if not UUID_TEXT.match(request["ledgerID"]):
            return failure(400, "The ledger identifier is not a UUID.", "bad_request")
        ledger = request["ledgerID"].upper()
        if any(d["ledger"] == ledger for d in site.devices.values()):
            return failure(409, "This history belongs to another computer.", "ledger_in_use")
        device = site.add_device(str(uuid.uuid4()), request["platform"], request["name"],
                                 request["appVersion"], ledger=ledger)
        return 200, {}, {"accountID": device["account"], "deviceID": device["id"],
                         "token": device["token"]}

    def redeem(self, site, request):
        if not isinstance(request, dict) or not isinstance(request.get("code"), str):
            return failure(400, "Expected a code.", "bad_request")
        entry = site.pairing.get(request["code"])
        if entry is None or entry["expires"] < time.time():
            return failure(404, "This code is not valid.", "invalid_code")
        del site.pairing[request["code"]]
        device = site.add_device(entry["account"], request.get("platform", "ios"),
                                 request.get("name", "Phone"), request.get("appVersion", "1.0"),
                                 push=bool(request.get("pushEnabled", True)))
        return 200, {}, {"deviceID": device["id"], "token": device["token"]}

    def history(self, site, device, request):
        days = request.get("days") if isinstance(request, dict) else None
        if not isinstance(days, list):
            return failure(400, "Expected days.", "bad_request")
        if len(days) > int(self.standin.setting("maxBatch", 500)):
            return failure(413, "Too many days in one request.", "too_many_days")
        for day in days:
            ok = (isinstance(day, dict) and isinstance(day.get("date"), str)
                  and len(day["date"]) == 10
                  and isinstance(day.get("seconds"), (int, float))
                  and not isinstance(day.get("seconds"), bool)
                  and 0 <= day["seconds"] <= 172800
                  and isinstance(day.get("sessions"), int)
                  and not isinstance(day.get("sessions"), bool)
                  and 0 <= day["sessions"] <= 1000000)
            if not ok:
                return failure(400, "A day is not valid.", "bad_day")
        ledger = site.history.setdefault(device["ledger"] or device["id"], {})
        for day in days:
            ledger[day["date"]] = {"seconds": day["seconds"], "sessions": day["sessions"]}
        return 200, {}, {"accepted": len(days)}

    @staticmethod
    def event_problem(event):
        keys = {"id", "type", "mode", "startedAt", "endsAt", "durationSec", "sentAt"}
        if not isinstance(event, dict) or set(event) != keys:
            return "An event has exactly the keys " + ", ".join(sorted(keys)) + "."
        if not isinstance(event["id"], str) or not UUID_TEXT.match(event["id"]) \
                or event["id"] != event["id"].upper():
            return "The event id is not an upper-case UUID."
        if event["type"] not in EVENT_TYPES:
            return "Unknown event type."
        if event["mode"] not in ("focus", "rest"):
            return "Unknown mode."
        for key in ("startedAt", "endsAt", "sentAt"):
            if not isinstance(event[key], str) or not TIMESTAMP.match(event[key]):
                return "%s is not a timestamp." % key
        duration = event["durationSec"]
        if not isinstance(duration, int) or isinstance(duration, bool) \
                or not 0 <= duration <= 172800:
            return "durationSec is out of range."
        return None


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--dir", default=None)
    known, _ = parser.parse_known_args()
    state = os.path.join(known.dir, "website-state.json") if known.dir else None
    WebsiteHandler.website = Website(state)
    standin.serve(WebsiteHandler, "A stand-in for the Tarnwhistle website.")


if __name__ == "__main__":
    main()
