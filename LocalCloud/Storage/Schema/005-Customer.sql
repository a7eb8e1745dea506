-- What the service tells an account about itself besides its tree. "features"
-- is a bit set (1 advertising, 2 document scanner, 4 reminders, 8 document
-- view, 16 server search, 32 delta requests).
CREATE TABLE Customer (
    login TEXT PRIMARY KEY NOT NULL DEFAULT '',
    firstName TEXT NOT NULL DEFAULT '',
    lastName TEXT NOT NULL DEFAULT '',
    email TEXT NOT NULL DEFAULT '',
    features INTEGER NOT NULL DEFAULT 0,
    product TEXT NOT NULL DEFAULT '',
    mailTotalSize INTEGER NOT NULL DEFAULT 0
) STRICT;
