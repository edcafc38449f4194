# Sourced by the Windows build scripts: fetches Debian source packages through a private APT
# configuration with deb-src entries, leaving the machine's own APT set-up untouched.
#   debian_source PACKAGE VERSION DESTINATION   unpacks PACKAGE's source (Debian patches
#                                               applied) into DESTINATION; prints its folder

sbx_apt_dir=""

sbx_private_apt() {
  [ -n "$sbx_apt_dir" ] && return 0
  sbx_apt_dir=$(mktemp -d)
  mkdir -p "$sbx_apt_dir/parts" "$sbx_apt_dir/lists/partial" "$sbx_apt_dir/cache/archives/partial"
  local f found=0
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    if grep -q '^URIs:.*debian' "$f"; then
      sed 's/^Types: deb$/Types: deb-src/' "$f" > "$sbx_apt_dir/parts/$(basename "$f")"
      found=1
    fi
  done
  if [ -f /etc/apt/sources.list ] && grep -q '^deb .*debian' /etc/apt/sources.list; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > "$sbx_apt_dir/parts/sources.list"
    found=1
  fi
  [ $found -eq 1 ] || { echo "debian_source: no Debian APT source found in /etc/apt" >&2; return 1; }
  printf 'Dir::Etc::SourceList "/dev/null";\nDir::Etc::SourceParts "%s/parts";\nDir::State::Lists "%s/lists";\nDir::Cache "%s/cache";\n' \
    "$sbx_apt_dir" "$sbx_apt_dir" "$sbx_apt_dir" > "$sbx_apt_dir/apt.conf"
  APT_CONFIG=$sbx_apt_dir/apt.conf apt-get -q update >&2 \
    || { echo "debian_source: apt-get update with deb-src entries failed" >&2; return 1; }
}

debian_source() {
  local package=$1 version=$2 destination=$3
  command -v dpkg-source >/dev/null || { echo "debian_source: dpkg-source (dpkg-dev) is missing" >&2; return 1; }
  sbx_private_apt || return 1
  mkdir -p "$destination"
  # The wanted version first; a mirror may list a version in its index whose files it lacks,
  # so the other versions it lists follow, newest first.
  local candidates candidate fetched=""
  candidates=$( { echo "$version";
                  APT_CONFIG=$sbx_apt_dir/apt.conf apt-cache showsrc "$package" 2>/dev/null \
                    | sed -n 's/^Version: //p' | sort -u -r -V; } | awk '!seen[$0]++')
  for candidate in $candidates; do
    if (cd "$destination" && APT_CONFIG=$sbx_apt_dir/apt.conf apt-get -q source "$package=$candidate" >&2); then
      fetched=$candidate
      break
    fi
    echo "debian_source: $package $candidate could not be fetched; trying the next version" >&2
    find "$destination" -mindepth 1 -delete
  done
  [ -n "$fetched" ] || { echo "debian_source: no version of $package could be fetched" >&2; return 1; }
  [ "$fetched" = "$version" ] || echo "debian_source: using $package $fetched instead of $version" >&2
  local directory
  directory=$(find "$destination" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  [ -n "$directory" ] || { echo "debian_source: $package unpacked nothing in $destination" >&2; return 1; }
  echo "$directory"
}

sbx_cleanup_private_apt() {
  [ -n "$sbx_apt_dir" ] && rm -rf "$sbx_apt_dir"
  sbx_apt_dir=""
}
