#!/usr/bin/env bash
# Shows the tool doing its job without a SQL Server at hand: builds, makes a 64 MiB sample backup,
# starts the SQL Server 2000 stand-in on a free loopback port and restores the sample under a new
# name. With a display the window opens ready for its start button; without one the command-line
# restore runs.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
# shellcheck source=standin.sh
source scripts/standin.sh

bash scripts/deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j2 --target standin quarn-sql-restore quarn-sql-restore-cli

standin=build/tools/standin/standin
window=build/src/quarn-sql-restore
cli=build/src/cli/quarn-sql-restore-cli
demo=$root/build/demo
name=DEMO_DB_$(date +%y%m%d_%H_%M_%S)
password=demo-$RANDOM$RANDOM
mkdir -p "$demo/databases"

if [[ ! -f $demo/Sample.bak ]]; then
    "$standin" make-backup "$demo/Sample.bak" --db Sample \
        --file D:Sample_Data:48M --file L:Sample_Log:16M
fi

start_standin "$demo" --root "$demo/standin" --login "demo:$password" --log "$demo/batches.log"
server="127.0.0.1,$port"
echo "SQL Server 2000 stand-in: $server, login demo / $password"

if [[ -n ${DISPLAY:-}${WAYLAND_DISPLAY:-} && -z ${CI:-} ]]; then
    # The window reads its fields from the defaults file beside it, in code page 936.
    iconv -f UTF-8 -t GBK >"$(dirname "$window")/初始默认值.ini" <<INI
[初始默认值]
服务器电脑名=$server
认证方式=指定用户名密码
数据库用户名=demo
数据库--密码=$password
来源类型=BAK备份文件
恢复来源文件=$demo/Sample.bak
新的数据库名称=$name
数据库存放目录=$demo/databases
INI
    echo "The window is open: press 开始恢复\"数据库\" to restore $demo/Sample.bak as $name."
    "$window"
else
    QUARN_SQL_PASSWORD=$password "$cli" --server "$server" --user demo \
        --backup "$demo/Sample.bak" --name "$name" --dir "$demo/databases"
    echo "Restored $name; its files:"
    ls -l "$demo/databases/${name}_Data.MDF" "$demo/databases/${name}_Log.LDF"
fi
