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

# Installs the packages (apt-get options may come first), asking nothing.
apt_install() {
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@"
}
