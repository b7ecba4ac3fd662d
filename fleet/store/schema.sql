-- The fleet store: results read from web server access logs.
-- No client address and no user agent is stored anywhere, nor any key: a
-- machine is held only as a hash keyed with a key of its UTC day, kept in the
-- store's key file beside it (key_file.js) and deleted from there once the
-- day is more than 48 hours older than the newest line ingested.

-- One row per log file, recognised by its content (head_hash), not its name.
CREATE TABLE IF NOT EXISTS files (
  file_id INTEGER PRIMARY KEY,
  head_hash VARCHAR NOT NULL UNIQUE, -- HMAC-SHA256 under the key file's file key of the file's first
                                     -- line, decompressed (for CloudFront, its "#" header lines with
                                     -- the first line after them)
  format VARCHAR NOT NULL,           -- combined | common | cloudfront
  bytes_done BIGINT NOT NULL,        -- decompressed bytes read so far, whole lines only
  lines_read BIGINT NOT NULL,
  results BIGINT NOT NULL,
  other_requests BIGINT NOT NULL,
  rejected BIGINT NOT NULL,
  cut BIGINT NOT NULL,               -- results whose address a "#" cut short
  rejected_reasons VARCHAR NOT NULL, -- JSON object: reason -> lines
  newest_at TIMESTAMP                -- the newest time of any line of the file, UTC
);

-- One row per result line.
CREATE TABLE IF NOT EXISTS results (
  file_id INTEGER NOT NULL,
  line_no BIGINT NOT NULL,           -- 1-based line of its file
  seen_at TIMESTAMP NOT NULL,          -- the request's time, UTC
  day DATE NOT NULL,                 -- its UTC day
  machine VARCHAR NOT NULL,          -- the day's keyed hash of the machine
  cut BOOLEAN NOT NULL,
  mask INTEGER NOT NULL,             -- the result bit mask (lines without a valid one are rejected)
  verdict VARCHAR NOT NULL,          -- meets | below | incomplete | not-run, as the result page judges it
  -- each requirement's state as the page judges it: meets | below | unknown
  st_directx VARCHAR NOT NULL, st_device VARCHAR NOT NULL, st_memory VARCHAR NOT NULL,
  st_shader VARCHAR NOT NULL, st_driver VARCHAR NOT NULL, st_ram VARCHAR NOT NULL,
  st_disk VARCHAR NOT NULL, st_windows VARCHAR NOT NULL,
  -- the address's items as the page reads them (null: not in the address)
  mem VARCHAR, card VARCHAR, pslevel VARCHAR, dxver VARCHAR, hdspace VARCHAR,
  ram VARCHAR, osver VARCHAR, driver VARCHAR, alternates VARCHAR,
  vendor_id BIGINT, device_id BIGINT, -- null: absent or not a number
  -- parsed values (null: unknown)
  mem_mb INTEGER, ram_mb INTEGER, disk_mb INTEGER,
  os_major INTEGER, os_minor INTEGER, os_sp INTEGER,
  windows VARCHAR,                   -- the Windows name as the page shows it
  latest BOOLEAN NOT NULL DEFAULT false -- the machine's latest result of its day (set by ingest)
);

-- A machine counts once a day: its latest result of the day stands for it.
-- Ingest marks that result when it stores a file, so that a report reads the
-- machines without ranking every result again.
CREATE OR REPLACE VIEW machine_days AS SELECT * FROM results WHERE latest;

-- The report's groupings of each day's machines (rollup_*: day, keys, counts)
-- are defined and kept by rollups.js: their columns follow their queries.
