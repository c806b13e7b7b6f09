#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the window need, only those missing;
# MinGW-w64 and Wine build and run the engine's tests for Windows; locales gives localedef the German
# locale that the decimal-comma tests make; poppler-utils lets the tests look into the report PDF;
# prometheus-cpp-dev writes the headless program's metrics, libmicrohttpd-dev (with GnuTLS) serves
# them over HTTP and HTTPS, libyaml-cpp-dev reads the exporters' web configuration and libcrypt-dev
# checks its bcrypt hashes; Debian's prometheus (with promtool) scrapes it in the tests and checks
# the alert rules, curl, openssl and apache2-utils' htpasswd make and try TLS and passwords; debhelper, help2man, lintian and the
# validators build and check the Debian packages, their man pages and desktop entries;
# devscripts (dch) makes other versions of them, debootstrap a clean Debian root for piuparts
# and for systemd-nspawn (systemd-container), which boots it to upgrade the running service.
# Quiet and idempotent: a second run on a ready machine installs nothing and asks no mirror.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev qt6-svg-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-ipafont-gothic xvfb xauth poppler-utils
  g++-mingw-w64-x86-64-posix wine64
  systemd
  libmosquitto-dev mosquitto mosquitto-clients openssl libssl-dev zlib1g-dev
  prometheus-cpp-dev libmicrohttpd-dev libgnutls28-dev libyaml-cpp-dev libcrypt-dev prometheus curl apache2-utils
  build-essential debhelper dpkg-dev fakeroot lintian help2man man-db appstream desktop-file-utils
  devscripts debootstrap piuparts systemd-container
  locales
  qt6-translations-l10n
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq >/dev/null
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
