-- Activity database: one row per logged scan tick, and a copy of the
-- time-limit list that the totals queries join.
CREATE TABLE applications (
    date_created TEXT,
    app_name TEXT,
    browser_url TEXT,
    app_type TEXT,
    duration INTEGER,
    origin INTEGER
);
CREATE INDEX applications_date_created ON applications(date_created);
-- Per-program totals read one program's rows of a range without sorting.
CREATE INDEX applications_app_name ON applications(app_name, origin, date_created, duration);
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
