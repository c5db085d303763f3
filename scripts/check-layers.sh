#!/usr/bin/env bash
# Fails on any include of the program's sources that points against the order of its layers
# (each folder may include itself and the folders after its arrow, nothing else):
#   app/        -> catalogue decor ui http script core
#   catalogue/  -> ui http script core; its portable part (scraping, file names, permission,
#                  the service's addresses and header texts) only the http texts (headers,
#                  encodings, URLs), script and core
#   decor/      -> ui http core
#   ui/         -> core
#   http/       -> script core
#   script/     -> core
#   core/       -> nothing; <windows.h> only in files named *_win32.cpp
# The carried data (resources/ headers and the embedded/ headers generated for them) may be
# included by app/ and decor/.
set -uo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
  [app]="app catalogue decor ui http script core resources embedded"
  [catalogue]="catalogue ui http script core"
  [decor]="decor ui http core resources embedded"
  [ui]="ui core"
  [http]="http script core"
  [script]="script core"
  [core]="core"
)
# The portable catalogue code: no window framework, no request engines.
portable_catalogue='^catalogue/(scrape|file_name|permission|service_headers)\.(h|cpp)$'
portable_catalogue_allowed='^(catalogue/(scrape|service_headers)\.h|http/(headers|encoding|url)\.h|script/|core/)'

violations=0
report() { echo "layers: $1"; violations=$((violations + 1)); }

while IFS= read -r file; do
  layer=${file%%/*}
  while IFS= read -r line; do
    number=${line%%:*}
    target=$(sed -E 's/^[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<<"$line")
    folder=${target%%/*}
    [ "$folder" = "$target" ] && continue  # a file beside it or a library's own header
    [ -n "${allowed[$folder]+x}" ] || [ "$folder" = resources ] || [ "$folder" = embedded ] ||
      continue  # not a folder of the program (tests/, a library)
    if [[ " ${allowed[$layer]} " != *" $folder "* ]]; then
      report "$file:$number includes $target ($layer/ may not include $folder/)"
    elif [[ $file =~ $portable_catalogue ]] && ! [[ $target =~ $portable_catalogue_allowed ]]; then
      report "$file:$number includes $target (the portable catalogue code may not)"
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file")
  if [ "$layer" = core ] && [[ $file != *_win32.cpp ]] &&
     grep -qiE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<windows\.h>' "$file"; then
    report "$file includes <windows.h> (in core/ only files named *_win32.cpp may)"
  fi
done < <(git ls-files -- 'app/*' 'catalogue/*' 'decor/*' 'ui/*' 'http/*' 'script/*' 'core/*' |
         grep -E '\.(h|hpp|c|cc|cpp)$')

if [ $violations -gt 0 ]; then
  echo "layers: $violations include(s) against the order of the layers"
  exit 1
fi
echo "layers: every include points down the layers"
