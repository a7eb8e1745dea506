-- Public links and private shares. "owner" is the login of the account whose
-- item "fileID" is shared. Public links: "token" is the random part of the
-- link's address, "validTo" its end (seconds since 1970, 0 for none). Private
-- shares: "email" the recipient's address, "recipient" the login of the account
-- it names (empty when none), "status" 1 pending, 2 accepted, 0 declined, and
-- where the recipient accepted it ("targetParentID", "targetName").
CREATE TABLE Share (
    id INTEGER PRIMARY KEY NOT NULL DEFAULT 0,
    owner TEXT NOT NULL DEFAULT '',
    fileID INTEGER NOT NULL DEFAULT 0,
    type TEXT NOT NULL DEFAULT '',
    token TEXT NOT NULL DEFAULT '',
    validTo INTEGER NOT NULL DEFAULT 0,
    email TEXT NOT NULL DEFAULT '',
    message TEXT NOT NULL DEFAULT '',
    recipient TEXT NOT NULL DEFAULT '',
    status INTEGER NOT NULL DEFAULT 1,
    targetParentID INTEGER NOT NULL DEFAULT 0,
    targetName TEXT NOT NULL DEFAULT ''
) STRICT;
CREATE INDEX ShareByToken ON Share (token);
