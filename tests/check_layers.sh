#!/usr/bin/env bash
# Fails when a source file includes a folder above its own layer, when virtualmeter/ reaches
# outside itself, when qcustomplot.h is included outside graph/, or when model/, platform/ or
# link/ include a Qt GUI or widget header (they build the session library, which has none). Layers, top to bottom:
#   app commands windows graph widgets link platform model
set -uo pipefail
src="$(cd "$(dirname "$0")/../src" && pwd)"
rank() {
  case "$1" in
    app) echo 8 ;; commands) echo 7 ;; windows) echo 6 ;; graph) echo 5 ;; widgets) echo 4 ;;
    link) echo 3 ;; platform) echo 2 ;; model) echo 1 ;; virtualmeter) echo 0 ;; *) echo -1 ;;
  esac
}
bad=0
while IFS= read -r -d '' file; do
  rel=${file#"$src"/}
  layer=${rel%%/*}
  mine=$(rank "$layer")
  if [ "$mine" -lt 0 ]; then
    echo "$rel: folder '$layer' is not a layer"; bad=1; continue
  fi
  while IFS=: read -r line target; do
    dir=${target%%/*}
    [ "$dir" = "$target" ] && continue # a file beside this one
    theirs=$(rank "$dir")
    if [ "$layer" = virtualmeter ]; then
      [ "$dir" = virtualmeter ] || { echo "$rel:$line: virtualmeter includes $target"; bad=1; }
      continue
    fi
    if [ "$dir" = virtualmeter ] && [ "$layer" != app ]; then
      echo "$rel:$line: only app/ starts the virtual meter ($target)"; bad=1
    elif [ "$theirs" -lt 0 ]; then
      echo "$rel:$line: includes $target from no known layer"; bad=1
    elif [ "$dir" != virtualmeter ] && [ "$theirs" -gt "$mine" ]; then
      echo "$rel:$line: $layer includes $target, which lies above it"; bad=1
    fi
  done < <(grep -nE '^\s*#\s*include\s+"' "$file" | sed -E 's/^([0-9]+):.*"([^"]+)".*/\1:\2/')
  if [ "$layer" != graph ] && grep -qE '^\s*#\s*include\s+[<"]qcustomplot\.h[>"]' "$file"; then
    echo "$rel: qcustomplot.h is included outside graph/"; bad=1
  fi
  # The session (model, platform, link) opens no window: no Qt GUI or widget header there.
  if [ "$mine" -ge 1 ] && [ "$mine" -le 3 ]; then
    gui=$(grep -nE '^\s*#\s*include\s+<(Qt(Gui|Widgets|PrintSupport)/[^>]*|Q(Widget|Dialog|Application|GuiApplication|MessageBox|FileDialog|InputDialog|PrintDialog|Printer|MainWindow|PushButton|ToolButton|Label|LineEdit|ComboBox|Painter|Image|Pixmap|Icon|Font|Color|Shortcut|Action|Window))>' "$file" | head -n 1)
    [ -n "$gui" ] && { echo "$rel:${gui%%:*}: $layer includes a GUI header (${gui#*:})"; bad=1; }
  fi
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
[ "$bad" -eq 0 ] && echo "layers: every include points down"
exit "$bad"
