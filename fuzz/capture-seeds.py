#!/usr/bin/env python3
"""Writes the fuzz corpus from a real localcloud: the bodies it answers
(corpus/responses), its whole answers as the transport reads them
(corpus/http) and the requests that got them (corpus/localcloud, with the
session and the address as @SESSION@ and @HOST@).

    python3 fuzz/capture-seeds.py build/asan/LocalCloud/localcloud
"""
import hashlib
import json
import os
import socket
import subprocess
import sys
import tempfile
import time

PORT = 18655
HOST = f"127.0.0.1:{PORT}"
HERE = os.path.dirname(os.path.abspath(__file__))


def exchange(raw):
    with socket.create_connection(("127.0.0.1", PORT)) as connection:
        connection.sendall(raw)
        answer = b""
        while True:
            piece = connection.recv(65536)
            if not piece:
                return answer
            answer += piece


def request(method, path, body=b"", session=None, content_type="application/json", extra=""):
    head = f"{method} {path} HTTP/1.1\r\nHost: {HOST}\r\n"
    if session:
        head += f"Cookie: session={session}\r\n"
    if body or method in ("POST", "PUT", "PATCH"):
        head += f"Content-Type: {content_type}\r\nContent-Length: {len(body)}\r\n"
    head += extra + "Connection: close\r\n\r\n"
    raw = head.encode() + body
    answer = exchange(raw)
    _, _, payload = answer.partition(b"\r\n\r\n")
    return raw, answer, payload


def write(folder, name, data):
    os.makedirs(os.path.join(HERE, "corpus", folder), exist_ok=True)
    with open(os.path.join(HERE, "corpus", folder, name), "wb") as file:
        file.write(data)


def main():
    program = sys.argv[1]
    data = tempfile.mkdtemp(prefix="localcloud-seeds-")
    subprocess.run([program, "add-user", data, "anna"], input=b"geheim\n", check=True)
    subprocess.run([program, "add-user", data, "bert@example.org"], input=b"passwort\n", check=True)
    service = subprocess.Popen([program, str(PORT), data])
    try:
        for _ in range(100):
            try:
                exchange(b"GET /v2.0/status HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                break
            except OSError:
                time.sleep(0.1)
        seeds = []

        def keep(name, method, path, body=b"", session=None, **options):
            raw, answer, payload = request(method, path, body, session, **options)
            seeds.append((name, raw, session))
            write("http", name, answer)
            return payload

        login = json.dumps({"world": "2", "login": "anna", "password": "geheim"}).encode()
        raw, answer, _ = request("POST", "/v2.0/login", login)
        session = answer.split(b"session=")[1].split(b";")[0].decode()
        seeds.append(("login", raw, None))
        write("http", "login", answer)
        customer = json.loads(keep("customer", "GET", "/v2.0/customer", session=session))
        write("responses", "customer", json.dumps(customer).encode())
        root = customer["root_file_id"]
        folder = json.loads(keep("create-folder", "POST", "/v2.0/files/folders",
            json.dumps({"folder_name": "Dokumente", "file_id": root}).encode(), session))
        content = b"Hallo Welt\n"
        announced = json.loads(keep("announce", "POST", "/v2.0/files/init", json.dumps({
            "parent_file_id": folder["data"]["id"], "name": "brief.txt", "mime_type": "text/plain",
            "created": 1700000000, "modified": 1700000001, "hash": hashlib.sha1(content).hexdigest(),
            "file_size": len(content)}).encode(), session))
        identifier = announced["data"]["id"]
        request_hash = hashlib.sha1(
            f"{folder['data']['id']}/brief.txt/{hashlib.sha1(content).hexdigest()}".encode()).hexdigest()
        keep("upload", "PUT", f"/v2.0/files/{identifier}/stream", content, session, content_type="text/plain",
            extra=f"Request-Hash: {request_hash}\r\n")
        write("responses", "files", keep("files", "GET", "/v2.0/files?depth=-1", session=session))
        keep("file", "GET", f"/v2.0/files/{identifier}", session=session)
        keep("download", "GET", f"/v2.0/files/{identifier}/download", session=session)
        write("responses", "png", keep("thumbnail", "GET", f"/v2.0/files/{identifier}/thumbnail?x=16&y=12",
            session=session))
        write("responses", "public-share", keep("public-share", "POST", "/v2.0/shares", json.dumps(
            {"type": "public", "file_id": identifier, "valid_to": 7}).encode(), session))
        shared = json.loads(keep("create-shared-folder", "POST", "/v2.0/files/folders",
            json.dumps({"folder_name": "Geteilt", "file_id": root}).encode(), session))
        write("responses", "private-share", keep("private-share", "POST", "/v2.0/shares", json.dumps(
            {"type": "private", "file_id": shared["data"]["id"], "message": "Bitte",
             "share_with": ["bert@example.org"]}).encode(), session))
        write("responses", "shares", keep("shares", "GET", "/v2.0/shares", session=session))
        keep("pending", "GET", "/v2.0/shares/pending", session=session)
        keep("shareinfos", "GET", f"/v2.0/files/{identifier}/shareinfos", session=session)
        keep("error-report", "POST", "/v2.0/log/error/public", json.dumps({"code": -2, "message": "x"}).encode())
        keep("wrong-login", "POST", "/v2.0/login",
            json.dumps({"world": "2", "login": "anna", "password": "falsch"}).encode())
        keep("unknown-route", "GET", "/v2.0/nirgends", session=session)
        keep("no-session", "GET", "/v2.0/files?depth=-1")
        keep("logout", "POST", "/v2.0/logout", session=session)
        for name, raw, used in seeds:
            text = raw.replace(HOST.encode(), b"@HOST@")
            if used:
                text = text.replace(used.encode(), b"@SESSION@")
            write("localcloud", name, text)
    finally:
        service.terminate()
        service.wait()


if __name__ == "__main__":
    main()
