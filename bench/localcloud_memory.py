#!/usr/bin/env python3
"""What strangers' requests make localcloud hold: starts the given program on
a fresh data folder and, for each attack, prints its resident memory before,
its peak during (VmHWM, reset before each attack) and after the connections
ended and a second passed. Measured, never asserted; the target is that no
request without a session raises the memory by more than 64 MiB and that what
a finished request held is given back.

    python3 bench/localcloud_memory.py build/release/LocalCloud/localcloud
"""
import hashlib
import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

PORT = 18677
HOST = f"127.0.0.1:{PORT}"
MIB = 1 << 20


def status(pid, field):
    with open(f"/proc/{pid}/status") as file:
        for line in file:
            if line.startswith(field + ":"):
                return int(line.split()[1]) // 1024
    return 0


def send(raw, read_answer=True):
    """Sends raw bytes on a connection of its own; the answer's first line, or what went wrong."""
    try:
        with socket.create_connection(("127.0.0.1", PORT), timeout=60) as connection:
            view = memoryview(raw)
            while view:
                sent = connection.send(view[: 1 << 20])
                view = view[sent:]
            if not read_answer:
                return ""
            return connection.recv(4096).split(b"\r\n")[0].decode(errors="replace")
    except OSError as error:
        return type(error).__name__


def post(path, body, content_type="application/json", session=None):
    head = f"POST {path} HTTP/1.1\r\nHost: {HOST}\r\nContent-Type: {content_type}\r\nContent-Length: {len(body)}\r\n"
    if session:
        head += f"Cookie: session={session}\r\n"
    return head.encode() + b"Connection: close\r\n\r\n" + body


def at_once(requests):
    answers = [None] * len(requests)

    def one(index):
        answers[index] = send(requests[index])

    threads = [threading.Thread(target=one, args=(index,)) for index in range(len(requests))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    return sorted(set(answers))


def main():
    program = sys.argv[1]
    data = tempfile.mkdtemp(prefix="localcloud-memory-")
    subprocess.run([program, "add-user", data, "anna"], input=b"geheim\n", check=True, capture_output=True)
    service = subprocess.Popen([program, str(PORT), data], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(200):
            if send(b"GET /v2.0/status HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n").startswith("HTTP"):
                break
            time.sleep(0.05)
        login = json.dumps({"world": "2", "login": "anna", "password": "geheim"}).encode()
        with socket.create_connection(("127.0.0.1", PORT)) as connection:
            connection.sendall(post("/v2.0/login", login))
            answer = b""
            while b"\r\n\r\n" not in answer:
                answer += connection.recv(4096)
        session = answer.split(b"session=")[1].split(b";")[0].decode()
        # A file without an image of its own, for the placeholder thumbnails.
        def call(raw):
            with socket.create_connection(("127.0.0.1", PORT)) as connection:
                connection.sendall(raw)
                answer = b""
                while True:
                    piece = connection.recv(65536)
                    if not piece:
                        return json.loads(answer.partition(b"\r\n\r\n")[2] or b"null")
                    answer += piece

        root = call((f"GET /v2.0/customer HTTP/1.1\r\nHost: {HOST}\r\nCookie: session={session}\r\n"
            "Connection: close\r\n\r\n").encode())["root_file_id"]
        content = b"Hallo"
        digest = hashlib.sha1(content).hexdigest()
        announced = call(post("/v2.0/files/init", json.dumps({"parent_file_id": root, "name": "a.txt",
            "mime_type": "text/plain", "created": 1, "modified": 2, "file_size": len(content),
            "hash": digest}).encode(), session=session))
        thumbnail_file = announced["data"]["id"]
        request_hash = hashlib.sha1(f"{root}/a.txt/{digest}".encode()).hexdigest()
        call(f"PUT /v2.0/files/{thumbnail_file}/stream HTTP/1.1\r\nHost: {HOST}\r\nCookie: session={session}\r\n"
            f"Content-Type: text/plain\r\nContent-Length: {len(content)}\r\nRequest-Hash: {request_hash}\r\n"
            f"Connection: close\r\n\r\n".encode() + content)

        fields = b"GET /v2.0/status HTTP/1.1\r\nHost: " + HOST.encode() + b"\r\n" + b"a:b\r\n" * 1_000_000 + b"\r\n"
        nested = b'{"world":"2","login":"anna","password":"x","n":' + b"[" * (15 * MIB) + b"]" * 8 + b"}"
        report = b"x" * (16 * MIB)
        thumbnail = lambda side: (f"GET /v2.0/files/{thumbnail_file}/thumbnail?x={side}&y={side} HTTP/1.1\r\nHost: {HOST}\r\n"
            f"Cookie: session={session}\r\nConnection: close\r\n\r\n").encode()
        large_get = (f"GET /v2.0/status HTTP/1.1\r\nHost: {HOST}\r\nContent-Length: {64 * MIB}\r\n\r\n").encode()
        attacks = [
            ("4 connections of a million header fields", lambda: at_once([fields] * 4)),
            ("8 login bodies of 15 MiB nested JSON", lambda: at_once([post("/v2.0/login", nested)] * 8)),
            ("52 error reports of 16 MiB, text/plain, no session",
                lambda: [send(post("/v2.0/log/error/public", report, "text/plain")) for _ in range(52)][-1:]),
            ("8 login bodies of 16 MiB", lambda: at_once([post("/v2.0/login", b" " * (16 * MIB))] * 8)),
            ("8 GETs with a 64 MiB body", lambda: at_once([large_get + b"g" * (64 * MIB)] * 8)),
            ("16 placeholder thumbnails of 4096² (with a session)", lambda: at_once([thumbnail(4096)] * 16)),
            ("16 placeholder thumbnails of 1024² (with a session)", lambda: at_once([thumbnail(1024)] * 16)),
        ]
        pid = service.pid
        print(f"{'attack':55} {'before':>8} {'peak':>8} {'after':>8}  answers")
        for name, attack in attacks:
            time.sleep(1)
            before = status(pid, "VmRSS")
            with open(f"/proc/{pid}/clear_refs", "w") as file:
                file.write("5")
            started = time.monotonic()
            answers = attack()
            took = time.monotonic() - started
            peak = status(pid, "VmHWM")
            time.sleep(1)
            after = status(pid, "VmRSS")
            print(f"{name:55} {before:5} MiB {peak:5} MiB {after:5} MiB  {', '.join(answers)} ({took:.1f} s)")
    finally:
        service.terminate()
        service.wait()


if __name__ == "__main__":
    main()
