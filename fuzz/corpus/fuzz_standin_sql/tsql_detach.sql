exec sp_detach_db N'O''Brien]DB 中文'
