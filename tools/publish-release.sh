#!/usr/bin/env bash
# Attaches what tools/package.sh made to a new GitHub release of the tag being
# built. For the release workflow: needs GITHUB_TOKEN, GITHUB_REPOSITORY and
# GITHUB_REF_NAME, which GitHub Actions sets.
set -euo pipefail
cd -P "$(dirname "${BASH_SOURCE[0]}")/.."
tools/deps.sh curl ca-certificates

out=build/release/package
if [ "$(id -u)" -eq 0 ]; then # root's package run builds in the test account's copy
    . tools/as-test-account.sh
    out=$(bd_test_copy "$PWD")/$out
fi
zip=$(ls "$out"/Backdrift-*-win64.zip)
version=${zip##*/Backdrift-}
version=${version%-win64.zip}
tag=$GITHUB_REF_NAME
[ "$tag" = "v$version" ] || { echo "publish: tag $tag does not name the built version $version" >&2; exit 1; }

api() { # <method> <url> [curl arguments...]
    curl --fail-with-body --silent --show-error -X "$1" "$2" \
        -H "Authorization: Bearer $GITHUB_TOKEN" -H "Accept: application/vnd.github+json" "${@:3}"
}
# A draft until every file is attached: a failed upload leaves no half release in public.
release=$(api POST "https://api.github.com/repos/$GITHUB_REPOSITORY/releases" \
    -d "{\"tag_name\": \"$tag\", \"name\": \"Backdrift $version\", \"draft\": true}")
# The upload address comes as ".../assets{?name,label}".
uploads=$(echo "$release" | sed -n 's/.*"upload_url": *"\([^{"]*\).*/\1/p' | head -1)
[ -n "$uploads" ] || { echo "publish: no upload address in GitHub's answer" >&2; exit 1; }
for file in "$zip" "$zip.sha256" "$out/scoop/backdrift.json" "$out"/winget/manifests/v/Velmaro/Backdrift/"$version"/*.yaml; do
    api POST "$uploads?name=$(basename "$file")" -H "Content-Type: application/octet-stream" \
        --data-binary "@$file" >/dev/null
    echo "attached $(basename "$file")"
done
id=$(echo "$release" | sed -n 's/^  "id": *\([0-9]*\),.*/\1/p' | head -1)
[ -n "$id" ] || id=$(echo "$release" | grep -o '"id": *[0-9]*' | head -1 | grep -o '[0-9]*$')
api PATCH "https://api.github.com/repos/$GITHUB_REPOSITORY/releases/$id" -d '{"draft": false}' >/dev/null
echo "published $tag"
