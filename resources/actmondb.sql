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
-- Per-hour sums of the activity: per hour (date_created's first 13
-- characters), program file, address, origin and kind of duration (integer or
-- NULL, or other), the rows and their summed duration. Long periods' totals
-- read these instead of every tick; the triggers keep them in step with the
-- rows in the rows' own statements. Kept identical (white space aside) to
-- src/storage/HourSums.cpp, which checks and rebuilds them at start-up.
CREATE TABLE applications_hours (
    hour TEXT,
    browser_url TEXT,
    app_name TEXT,
    origin INTEGER,
    integral INTEGER,
    row_count INTEGER,
    duration
);
CREATE INDEX applications_hours_key
    ON applications_hours(hour, browser_url, app_name, origin, integral, duration);
CREATE INDEX applications_hours_app_name ON applications_hours(app_name, origin, hour, duration);
CREATE TRIGGER applications_hours_insert AFTER INSERT ON applications BEGIN
    UPDATE applications_hours SET row_count = row_count + 1, duration = duration + coalesce(new.duration, 0)
        WHERE hour IS substr(new.date_created, 1, 13) AND browser_url IS new.browser_url AND app_name IS new.app_name AND origin IS new.origin AND integral = (typeof(new.duration) IN ('integer', 'null'));
    INSERT INTO applications_hours(hour, browser_url, app_name, origin, integral, row_count, duration)
        SELECT substr(new.date_created, 1, 13), new.browser_url, new.app_name, new.origin, typeof(new.duration) IN ('integer', 'null'), 1,
            CASE WHEN typeof(new.duration) IN ('integer', 'null') THEN coalesce(new.duration, 0) ELSE new.duration + 0.0 END
        WHERE NOT EXISTS (SELECT 1 FROM applications_hours WHERE hour IS substr(new.date_created, 1, 13) AND browser_url IS new.browser_url AND app_name IS new.app_name AND origin IS new.origin AND integral = (typeof(new.duration) IN ('integer', 'null')));
END;
CREATE TRIGGER applications_hours_delete AFTER DELETE ON applications BEGIN
    UPDATE applications_hours SET row_count = row_count - 1, duration = duration - coalesce(old.duration, 0)
        WHERE hour IS substr(old.date_created, 1, 13) AND browser_url IS old.browser_url AND app_name IS old.app_name AND origin IS old.origin AND integral = (typeof(old.duration) IN ('integer', 'null'));
    DELETE FROM applications_hours WHERE hour IS substr(old.date_created, 1, 13) AND browser_url IS old.browser_url AND app_name IS old.app_name AND origin IS old.origin AND integral = (typeof(old.duration) IN ('integer', 'null')) AND row_count <= 0;
END;
CREATE TRIGGER applications_hours_update
    AFTER UPDATE OF date_created, app_name, browser_url, duration, origin ON applications BEGIN
    UPDATE applications_hours SET row_count = row_count - 1, duration = duration - coalesce(old.duration, 0)
        WHERE hour IS substr(old.date_created, 1, 13) AND browser_url IS old.browser_url AND app_name IS old.app_name AND origin IS old.origin AND integral = (typeof(old.duration) IN ('integer', 'null'));
    DELETE FROM applications_hours WHERE hour IS substr(old.date_created, 1, 13) AND browser_url IS old.browser_url AND app_name IS old.app_name AND origin IS old.origin AND integral = (typeof(old.duration) IN ('integer', 'null')) AND row_count <= 0;
    UPDATE applications_hours SET row_count = row_count + 1, duration = duration + coalesce(new.duration, 0)
        WHERE hour IS substr(new.date_created, 1, 13) AND browser_url IS new.browser_url AND app_name IS new.app_name AND origin IS new.origin AND integral = (typeof(new.duration) IN ('integer', 'null'));
    INSERT INTO applications_hours(hour, browser_url, app_name, origin, integral, row_count, duration)
        SELECT substr(new.date_created, 1, 13), new.browser_url, new.app_name, new.origin, typeof(new.duration) IN ('integer', 'null'), 1,
            CASE WHEN typeof(new.duration) IN ('integer', 'null') THEN coalesce(new.duration, 0) ELSE new.duration + 0.0 END
        WHERE NOT EXISTS (SELECT 1 FROM applications_hours WHERE hour IS substr(new.date_created, 1, 13) AND browser_url IS new.browser_url AND app_name IS new.app_name AND origin IS new.origin AND integral = (typeof(new.duration) IN ('integer', 'null')));
END;
