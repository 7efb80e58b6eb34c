#!/usr/bin/env bash
# Installs every build, test and run dependency of PageLux from Debian packages.
# Idempotent: packages already present are not fetched again.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config git
  qtbase5-dev qttools5-dev qttools5-dev-tools libqt5svg5-dev qt5-image-formats-plugins
  libopencv-dev
  libturbojpeg0-dev libjpeg-turbo-progs
  zlib1g-dev libtiff-dev libtesseract-dev libleptonica-dev tesseract-ocr tesseract-ocr-chi-sim tesseract-ocr-eng
  libzip-dev zipcmp zipmerge ziptool
  libqpdf-dev qpdf poppler-utils unzip
  fonts-wqy-microhei fonts-noto-cjk
  linux-libc-dev
  xvfb xauth x11-utils python3-docx
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# Refresh package lists when they are missing or older than a day.
lists=/var/lib/apt/lists
if [ -z "$(find "$lists" -maxdepth 1 -name '*Packages*' -mtime -1 2>/dev/null | head -1)" ]; then
  $SUDO apt-get update
fi
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
