# Writes BuildInfo.h with today's date. configure_file leaves the file alone while its text stays
# the same, so only a new day rebuilds what includes it.
# Run with -DIN=<template> -DOUT=<header> -DKOV_EDITION=<id> -DPROJECT_VERSION=<version>.
string(TIMESTAMP KOV_BUILD_DATE "%b %d %Y" UTC)
configure_file("${IN}" "${OUT}" @ONLY)
