#!/bin/bash
#SBATCH --job-name=quillfen
#SBATCH --array=1-16
#SBATCH --cpus-per-task=4
#SBATCH --time=02:00:00
#SBATCH --output=quillfen-%A_%a.log
# One part of the folder per array task; the reports land beside the logs.
#   sbatch slurm-array.sh [FOLDER [CONVERT-OPTION...]]
# FOLDER also comes from QUILLFEN_FOLDER, the options from QUILLFEN_OPTIONS; the
# arguments win. sbatch's own --array and --cpus-per-task override the lines above.
set -euo pipefail
folder=${QUILLFEN_FOLDER:-/data/run-2026-12-07}
read -r -a options <<<"${QUILLFEN_OPTIONS:---kind standardized-tiff}"
if [ $# -gt 0 ]; then folder=$1; shift; fi
if [ $# -gt 0 ]; then options=("$@"); fi
quillfen-cli convert "${options[@]}" --quiet \
    --shard "${SLURM_ARRAY_TASK_ID}/${SLURM_ARRAY_TASK_COUNT}" \
    --report "quillfen-${SLURM_ARRAY_JOB_ID}_${SLURM_ARRAY_TASK_ID}.json" \
    "$folder"
