#!/usr/bin/env bash
# Refreshes the README's pictures in docs/screenshots/ from the program's
# end-to-end run on a virtual desktop (ctest -R e2e_program in build/dev),
# cut to the windows with ImageMagick. Not part of the tests.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
command -v convert >/dev/null && convert -version 2>/dev/null | grep -q ImageMagick ||
    apt-get install -y --no-install-recommends imagemagick >/dev/null
scripts/dev-build.sh tallyward tw_e2e_qt_client tw_e2e_atspi_texts
(cd build/dev && ctest -R e2e_program --output-on-failure)
shots=build/dev/screenshots
out=docs/screenshots
mkdir -p "$out"
# The panel sits at the right edge of the 1280-pixel screen.
for view in lite all reminders usage; do
    convert "$shots/e2e-panel-$view.png" -crop 330x1000+950+0 +repage -trim +repage \
        "$out/panel-$view.png"
done
# The reminder in front of the listed terminal, with the panel beside it.
convert "$shots/e2e-reminder.png" -crop 900x560+380+0 +repage -trim +repage "$out/reminder.png"
# The first-run settings window in the middle of the screen.
convert "$shots/e2e-settings.png" -gravity center -crop 420x460+0+0 +repage -trim +repage \
    "$out/settings.png"
ls -l "$out"
