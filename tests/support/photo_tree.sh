# Sourced by the scripts that compare the Windows build with the Linux one.
# make_photo_tree WORK SAMPLES CORPUS: copies the sample photos and the shared corpus of real
# camera files (left out when absent), times kept, under WORK/"照片 2015年", a folder whose
# name holds a blank and Chinese characters; sets `top` to that folder's name.
make_photo_tree() {
  top="照片 2015年"
  mkdir -p "$1/$top" && cp -rp "$2" "$1/$top/samples" || return 1
  if [ -d "$3" ]; then
    cp -rp "$3" "$1/$top/real" || return 1
  else
    echo "no corpus at $3: the samples only"
  fi
}
