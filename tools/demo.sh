#!/usr/bin/env bash
echo "The demo arrives with the simulated scanner and the framework."
