-- One row per file or folder of every account's tree. The root folder of an
-- account has parentID 0 and an empty name. "state" is 1 for an item that is
-- listed, 0 for an announced upload whose content has not arrived yet.
-- "changed" is the server time (seconds since 1970) of the item's last change.
-- The share columns mirror the item's shares: "shared" 1 while it has a public
-- link, "publicValidTo" that link's end (seconds since 1970, 0 for none),
-- "privateShares" the number of its private shares. "allowPrivate" and
-- "allowPublic" override the sharing rules: -1 follows them, 0 forbids, 1 allows.
CREATE TABLE Item (
    id INTEGER PRIMARY KEY NOT NULL DEFAULT 0,
    account TEXT NOT NULL DEFAULT '',
    parentID INTEGER NOT NULL DEFAULT 0,
    name TEXT NOT NULL DEFAULT '',
    isFolder INTEGER NOT NULL DEFAULT 0,
    state INTEGER NOT NULL DEFAULT 1,
    size INTEGER NOT NULL DEFAULT 0,
    hash TEXT NOT NULL DEFAULT '',
    mimeType TEXT NOT NULL DEFAULT '',
    created INTEGER NOT NULL DEFAULT 0,
    modified INTEGER NOT NULL DEFAULT 0,
    changed INTEGER NOT NULL DEFAULT 0,
    etag TEXT NOT NULL DEFAULT '',
    shared INTEGER NOT NULL DEFAULT 0,
    publicValidTo INTEGER NOT NULL DEFAULT 0,
    privateShares INTEGER NOT NULL DEFAULT 0,
    allowPrivate INTEGER NOT NULL DEFAULT -1,
    allowPublic INTEGER NOT NULL DEFAULT -1
) STRICT;
