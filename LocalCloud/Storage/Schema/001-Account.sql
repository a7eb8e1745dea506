-- One row per user of the service. The password is kept only as a salted
-- PBKDF2-HMAC-SHA256 hash ("salt" and "passwordHash" in lower-case hex).
CREATE TABLE Account (
    login TEXT PRIMARY KEY NOT NULL DEFAULT '',
    salt TEXT NOT NULL DEFAULT '',
    passwordHash TEXT NOT NULL DEFAULT '',
    iterations INTEGER NOT NULL DEFAULT 0,
    quotaBytes INTEGER NOT NULL DEFAULT 0,
    customerID INTEGER NOT NULL DEFAULT 0
) STRICT;
