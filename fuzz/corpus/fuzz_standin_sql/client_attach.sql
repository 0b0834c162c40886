exec sp_attach_db N'Attached  DB' , N'/tmp/cap/dbs/O''Brien]DB 中文_Data.MDF', N'/tmp/cap/dbs/O''Brien]DB 中文_Log.LDF'
