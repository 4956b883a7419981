#!/bin/sh
echo "Content-Type: text/plain"
