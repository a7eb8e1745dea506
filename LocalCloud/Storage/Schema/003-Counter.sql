-- Named counters that only grow: "item" is the last identifier handed out, so
-- an identifier is never used twice, not even after its item was deleted.
CREATE TABLE Counter (
    name TEXT PRIMARY KEY NOT NULL DEFAULT '',
    value INTEGER NOT NULL DEFAULT 0
) STRICT;
