# Sourced by the setup scripts: which of a list of Debian packages are missing, and installing them with
# apt-get, as root or through sudo.

# Prints the packages of the arguments that are not installed, one a line.
missing_packages() {
  local pkg
  for pkg in "$@"; do
    dpkg -s "$pkg" >/dev/null 2>&1 || echo "$pkg"
  done
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the packages (apt-get options may come first), asking nothing. A mirror in the middle of a sync
# can fail one index (seen with the i386 security index): the others still serve, so that is no reason to
# stop. It then offers an architecture's library in two versions that cannot stand together; holding the
# security archive back for this one install lets both architectures take the main release's version.
apt_install() {
  as_root apt-get update -qq || echo "setup: some package indexes could not be read; going on with the rest" >&2
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" && return 0
  local pin=/etc/apt/preferences.d/smartdriver-setup
  echo "setup: retrying with the security archive's packages held back" >&2
  printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' | as_root tee "$pin" >/dev/null
  local status=0
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" || status=$?
  as_root rm -f "$pin"
  return "$status"
}
