-- Settings database: one row per setting, the three to-do reminders and the
-- time-limit list. Every row is rewritten on save, so there are no keys.
CREATE TABLE settings (
    name TEXT,
    value TEXT
);
CREATE TABLE reminders (
    text TEXT,
    reminder_type TEXT
);
CREATE TABLE applications_list (
    name TEXT,
    caption TEXT,
    active INTEGER
);
CREATE TABLE websites_list (
    name TEXT,
    caption TEXT,
    active INTEGER
);
