-- The stored state of the last run: one row per server item, keyed by its remote file id.
-- "path" is the item's path in the cloud folder in precomposed form (folders end with "/").
-- "fileData" is the archived record of the item.
CREATE TABLE FileWrapper (
    remoteFileID INTEGER PRIMARY KEY NOT NULL DEFAULT 0,
    path TEXT NOT NULL DEFAULT '',
    fileData BLOB NOT NULL DEFAULT x''
) STRICT;
