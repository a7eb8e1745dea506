-- The per-file sync status, keyed by the item's absolute path in precomposed form.
-- "status" is the raw value of the status (0 up to date, 1 syncing, 2 error, 3 unknown).
CREATE TABLE FileStatus (
    filePath TEXT PRIMARY KEY NOT NULL DEFAULT '',
    status INTEGER NOT NULL DEFAULT 0
) STRICT, WITHOUT ROWID;

-- "Is anything syncing" and "what is syncing below this folder" run at every change.
CREATE INDEX FileStatusByStatus ON FileStatus (status, filePath);
