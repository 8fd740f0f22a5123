-- The empty database that Shiftwell writes out at the start of every run: the
-- format of the robot software's own database. template_generator turns this
-- file into template.db at build time; it can also be fed to the sqlite3 shell.
--
-- Settings first: the page size and encoding only take effect before the first
-- table exists; WAL sets the file format versions in the header to 2/2.
PRAGMA page_size = 4096;
PRAGMA encoding = 'UTF-8';
PRAGMA auto_vacuum = NONE;
PRAGMA user_version = 0;
PRAGMA journal_mode = WAL;

BEGIN;

CREATE TABLE add_friends (
  xj_wxid text,
  sj_wxid text,
  remarks text,
  scene text,
  wx_name text,
  v1 text,
  v2 text,
  data text,
  creation_time text,
  state text,
  my_wxid text
);

CREATE TABLE claim_order (
  creation_time text,
  settling_time text,
  platform text,
  title text,
  id text,
  picture text,
  order_main text,
  order_vice text NOT NULL,
  numbers integer,
  pay_price real,
  union_yj real,
  union_yj_rate real,
  user_yj real,
  user_yj_rate text,
  income real,
  union_branch text,
  client text,
  order_state text,
  pid text,
  category text,
  seller_nick text,
  mb_data text,
  configure text,
  source text,
  PRIMARY KEY (order_vice)
);

CREATE TABLE fission (
  creation_time text,
  sj_wxid text,
  xj_wxid text NOT NULL,
  channel text,
  my_wxid text,
  xj_num integer,
  xj_num_two integer,
  xj_num_three integer,
  xj_money_one real,
  xj_money_two real,
  xj_money_three real,
  xj_order_one integer,
  xj_order_two integer,
  xj_order_three integer,
  config text,
  PRIMARY KEY (xj_wxid)
);

CREATE TABLE friend (
  wxid text NOT NULL,
  wx_name text,
  wx_photo text,
  wx_sex text,
  province text,
  city text,
  wx_remarks text,
  wx_user text,
  adding_time text,
  numbers integer,
  type text,
  data_v1 text,
  data_64 text,
  configure text,
  my_wxid text NOT NULL,
  sj_wxid text,
  sj_source text,
  unique_id text,
  source text,
  PRIMARY KEY (wxid, my_wxid)
);

CREATE TABLE wxgroup (
  g_wxid text NOT NULL,
  g_name text,
  g_photo text,
  g_monitor text,
  g_rebate text,
  g_Invoice text,
  g_report text,
  g_notice_type text,
  g_Invoice_type text,
  g_agent_wxid text,
  g_agent_rate text,
  g_agent_royalty text,
  g_rebate_type text,
  g_pid text,
  g_configure text,
  g_update_time text,
  g_instructions text,
  g_mark text,
  my_wxid text NOT NULL,
  source text,
  PRIMARY KEY (g_wxid, my_wxid)
);

CREATE TABLE group_member (
  g_wxid text NOT NULL,
  wxid text NOT NULL,
  wx_user text,
  wx_name text,
  wx_photo text,
  wx_remarks text,
  wx_sex text,
  province text,
  city text,
  pid text,
  jurisdiction text,
  rebate text,
  Invoice text,
  permissions text,
  configure text,
  my_wxid text NOT NULL,
  sj_wxid text,
  sj_source text,
  unique_id text,
  source text,
  PRIMARY KEY (g_wxid, wxid, my_wxid)
);

CREATE TABLE income (
  order_main text NOT NULL,
  order_vice text,
  creation_time text,
  settling_time text,
  wxid text,
  wx_user text,
  wx_name text,
  wx_remarks text,
  name text,
  zfb text,
  t_money real,
  t_type text,
  t_source text,
  t_mode text,
  staff text,
  g_wxid text,
  my_wxid text,
  config text,
  PRIMARY KEY (order_main)
);

CREATE TABLE Invalid_order (
  creation_time text,
  settling_time text,
  freeze_time text,
  platform text,
  wx_name text,
  wx_remarks text,
  title text,
  id text,
  picture text,
  order_main text,
  order_vice text NOT NULL,
  numbers integer,
  pay_price real,
  union_yj real,
  union_yj_rate real,
  user_yj real,
  user_yj_rate text,
  royalty_one real,
  royalty_two real,
  royalty_three real,
  royalty_rate text,
  income real,
  union_branch text,
  client text,
  order_state text,
  pid text,
  category text,
  wxid text,
  g_wxid text,
  seller_nick text,
  mb_data text,
  my_wxid text,
  agent_yj real,
  agent_rate real,
  robot_income real,
  agent_data text,
  source text,
  PRIMARY KEY (order_vice)
);

CREATE TABLE member (
  id integer,
  wxid text NOT NULL,
  wx_user text,
  grade integer,
  wx_name text,
  wx_remarks text,
  name text,
  zfb text,
  ztx_money real,
  ktx_money real,
  wsh_money real,
  ycs_money real,
  zcg_number integer,
  zth_number integer,
  zwq_number integer,
  qd_number integer,
  qd_money integer,
  qd_time text,
  royalty_one real,
  royalty_two real,
  royalty_three real,
  royalty_total real,
  rebate_type text,
  royalty_type text,
  pid text,
  adding_time text,
  due_time text,
  shopping_time text,
  configure text,
  gzh_id text,
  record text,
  my_wxid text,
  PRIMARY KEY (wxid)
);

CREATE TABLE pid_register (
  platform text NOT NULL,
  name text,
  tgw_name text,
  user_id text,
  channel_id text,
  tgw_id text,
  pid text NOT NULL,
  shield text,
  default_value text,
  default_platform text,
  PRIMARY KEY (pid, platform)
);

CREATE TABLE register_order (
  creation_time text,
  settling_time text,
  freeze_time text,
  platform text,
  wx_name text,
  wx_remarks text,
  title text,
  id text,
  picture text,
  order_main text,
  order_vice text NOT NULL,
  numbers integer,
  pay_price real,
  union_yj real,
  union_yj_rate real,
  user_yj real,
  user_yj_rate text,
  royalty_one real,
  royalty_two real,
  royalty_three real,
  royalty_rate text,
  income real,
  union_branch text,
  client text,
  order_state text,
  pid text,
  category text,
  wxid text NOT NULL,
  g_wxid text,
  seller_nick text,
  mb_data text,
  my_wxid text,
  agent_yj real,
  agent_rate real,
  robot_income real,
  agent_data text,
  source text,
  PRIMARY KEY (order_vice)
);

CREATE TABLE template (
  mb_name text NOT NULL,
  mb_platform text,
  mb_type text,
  mb_data text,
  mb_user text NOT NULL,
  config text,
  PRIMARY KEY (mb_name)
);

CREATE TABLE customgoods (
  creation_time text,
  platform text,
  id text NOT NULL,
  sgin_id text,
  title text,
  user_yj integer,
  coupons text,
  limit_time text,
  limit_number integer,
  complete_number integer,
  limit_purchasing integer,
  configure text,
  my_wxid text,
  picture text,
  PRIMARY KEY (id)
);

CREATE TABLE social (
  release_time text,
  social_id text NOT NULL,
  wx_name text,
  wx_remarks text,
  wxid text,
  wx_copy text,
  wx_picture text,
  wx_praise text,
  wx_tag text,
  robot_comments text,
  comments_time text,
  robot_tag text,
  robot_collect text,
  configure text,
  my_wxid text NOT NULL,
  PRIMARY KEY (social_id, my_wxid)
);

CREATE TABLE sql_repair (
  id integer NOT NULL PRIMARY KEY,
  content text,
  update_time text
);

CREATE TABLE collection (
  type text,
  my_wxid text,
  object text,
  configure text,
  state text,
  start_time text,
  end_time text,
  interval_time integer,
  last_interval_time integer,
  cj_num integer,
  set_up text,
  preload text
);

CREATE TABLE robotconfig (
  my_wxid text NOT NULL,
  wx_user text,
  wx_friend_url text,
  dlw_id text,
  name text,
  photo_url text,
  login_time text,
  login_status text,
  wx_rebate text,
  agent_id text,
  agent_royalty text,
  agent_ztx_money integer,
  agent_ktx_money integer,
  agent_wsh_money integer,
  agent_order_num integer,
  agent_config text,
  agent_commission integer,
  creategroup_source text,
  creategroup text,
  creategroup_wx_id text,
  add_friends text,
  add_friends_config text,
  config text,
  PRIMARY KEY (my_wxid)
);

CREATE TABLE query_share (
  creation_time text,
  end_time text,
  label text NOT NULL,
  platform text,
  id text,
  channel_id text,
  tgw_id text,
  pid text,
  mb_data text,
  path integer,
  order_num integer,
  type integer,
  wxid text,
  hy_wxid text,
  notice integer,
  marketing integer,
  my_wxid text,
  config text,
  PRIMARY KEY (label)
);

CREATE TABLE robot_share (
  insert_time text,
  remarks text,
  expire_time text,
  type text,
  share_code text NOT NULL,
  census_visit integer,
  limit_visit integer,
  census_pay integer,
  limit_pay integer,
  configure text,
  state text,
  PRIMARY KEY (share_code)
);

CREATE TABLE social_goods (
  number text NOT NULL,
  add_time text,
  platform text,
  id text,
  title text,
  picture text,
  price integer,
  discount integer,
  discount_id text,
  union_yj integer,
  union_yj_rate integer,
  pyq_content text,
  pl_content text,
  config text,
  release_time text,
  release_state text,
  my_wxid text,
  PRIMARY KEY (number)
);

CREATE TABLE anypay (
  id integer NOT NULL PRIMARY KEY AUTOINCREMENT,
  name text,
  level integer,
  secret text,
  mode text,
  status text,
  valid text,
  itime text,
  notes text,
  config text
);
-- sqlite_sequence comes into being here, with the first AUTOINCREMENT table.

CREATE TABLE report (
  itime text NOT NULL,
  time_type text NOT NULL,
  my_wxid text NOT NULL,
  data text,
  PRIMARY KEY (itime, time_type, my_wxid)
);

CREATE TABLE blacklist (
  id text NOT NULL,
  platform text NOT NULL,
  type text,
  times text,
  msg text,
  config text,
  itime text,
  utime text,
  PRIMARY KEY (id, platform)
);

CREATE TABLE robot_cardrecord (
  inserttime text,
  pay_source text,
  pay_km_type text,
  dlw_id text,
  agent_id text,
  pay_money integer,
  pay_order text NOT NULL,
  share_code text,
  PRIMARY KEY (pay_order)
);

CREATE TABLE robot_income (
  order_main text NOT NULL,
  order_vice text,
  creation_time text,
  settling_time text,
  agent_id text,
  dlw_id text,
  dlw_remarks text,
  wxid text,
  zfb_user text,
  zfb_name text,
  t_money integer,
  t_mode text,
  staff text,
  t_type text,
  t_msg text,
  PRIMARY KEY (order_main)
);

CREATE TABLE reward_history (
  wxid text NOT NULL,
  hy_wxid text NOT NULL,
  my_wxid text NOT NULL,
  type text NOT NULL,
  reward_id integer NOT NULL,
  money integer NOT NULL,
  itime text NOT NULL,
  config text
);

CREATE TABLE message_record (
  receive_time text,
  my_id text NOT NULL,
  hy_id text NOT NULL,
  wx_id text NOT NULL,
  content_md5 text NOT NULL,
  PRIMARY KEY (my_id, hy_id, wx_id, content_md5)
);

CREATE TABLE platform_replace (
  creation_time text,
  platform_type text,
  platform text NOT NULL,
  name text,
  remarks text,
  user_id text NOT NULL,
  type text,
  state text,
  enable text,
  u_state text,
  expire_time text,
  new_replace_time text,
  union_config text,
  auth_config text,
  config text,
  PRIMARY KEY (platform, user_id)
);

CREATE TABLE reward (
  id integer NOT NULL PRIMARY KEY AUTOINCREMENT,
  name text NOT NULL,
  type text NOT NULL,
  status text NOT NULL,
  itime text NOT NULL,
  config text NOT NULL
);

CREATE TABLE task (
  task_name text NOT NULL,
  task_time text,
  task_type integer,
  task_config text,
  PRIMARY KEY (task_name)
);

CREATE TABLE platform_register (
  creation_time text,
  platform text NOT NULL,
  platform_type text,
  platform_name text,
  u_name text,
  u_id text NOT NULL,
  u_state integer,
  u_type integer,
  u_enable integer,
  auth_time text,
  new_time text,
  remark text,
  union_config text,
  auth_config text,
  config text,
  PRIMARY KEY (platform, u_id)
);

CREATE TABLE custom_variables (
  name text NOT NULL,
  state integer,
  content text,
  config text,
  PRIMARY KEY (name)
);

CREATE TABLE register_order_history (
  creation_time text,
  settling_time text,
  freeze_time text,
  platform text,
  wx_name text,
  wx_remarks text,
  title text,
  id text,
  picture text,
  order_main text,
  order_vice text NOT NULL,
  numbers integer,
  pay_price real,
  union_yj real,
  union_yj_rate real,
  user_yj real,
  user_yj_rate text,
  royalty_one real,
  royalty_two real,
  royalty_three real,
  royalty_rate text,
  income real,
  union_branch text,
  client text,
  order_state text,
  pid text,
  category text,
  wxid text NOT NULL,
  g_wxid text,
  seller_nick text,
  mb_data text,
  my_wxid text,
  agent_yj real,
  agent_rate real,
  robot_income real,
  agent_data text,
  source text,
  PRIMARY KEY (order_vice)
);

CREATE TABLE cashout_member (
  wxid text NOT NULL,
  pay_date text,
  pay_jumpwx integer,
  pay_autopay integer,
  pay_zstx integer,
  pay_wgw integer,
  pay_zdje text,
  config text,
  PRIMARY KEY (wxid)
);

CREATE TABLE notify_template (
  name text NOT NULL,
  data text,
  config text,
  PRIMARY KEY (name)
);

CREATE TABLE image_template (
  id integer NOT NULL PRIMARY KEY,
  name text,
  image_url text,
  content text,
  user text,
  config text
);

CREATE TABLE anypay_whitelist (
  wxid text NOT NULL,
  config text,
  PRIMARY KEY (wxid)
);

-- Indexes of add_friends
CREATE INDEX tild_my_wxid ON add_friends (my_wxid);
CREATE INDEX tjld_creation_time ON add_friends (creation_time DESC);
CREATE INDEX tjld_state ON add_friends (state);
CREATE INDEX tjld_xjwxid ON add_friends (xj_wxid);

-- Indexes of claim_order
CREATE INDEX ddrl_creation_time ON claim_order (creation_time DESC);
CREATE INDEX ddrl_order_main ON claim_order (order_main);
CREATE INDEX ddrl_order_state ON claim_order (order_state);
CREATE INDEX ddrl_platform ON claim_order (platform);
CREATE INDEX ddrl_settling_time ON claim_order (settling_time DESC);

-- Indexes of fission
CREATE INDEX lbgl_my_wxid ON fission (my_wxid);
CREATE INDEX lbgl_sj_wxid ON fission (sj_wxid);
CREATE INDEX lbgl_xj_wxid ON fission (xj_wxid);

-- Indexes of friend
CREATE INDEX hygl_adding_time ON friend (adding_time);
CREATE INDEX hygl_data_v1 ON friend (data_v1);
CREATE INDEX hygl_my_wxid ON friend (my_wxid);
CREATE INDEX hygl_sj_wxid ON friend (sj_wxid);
CREATE INDEX hygl_type ON friend (type);
CREATE INDEX hygl_wxid ON friend (wxid);
CREATE INDEX hygl_unique_id ON friend (unique_id);

-- Indexes of wxgroup
CREATE INDEX qzgl_g_Invoice ON wxgroup (g_Invoice);
CREATE INDEX qzgl_g_instructions ON wxgroup (g_instructions);
CREATE INDEX qzgl_g_mark ON wxgroup (g_mark);
CREATE INDEX qzgl_g_monitor ON wxgroup (g_monitor);
CREATE INDEX qzgl_g_name ON wxgroup (g_name);
CREATE INDEX qzgl_g_notice_type ON wxgroup (g_notice_type);
CREATE INDEX qzgl_g_pid ON wxgroup (g_pid);
CREATE INDEX qzgl_g_rebate ON wxgroup (g_rebate);
CREATE INDEX qzgl_g_report ON wxgroup (g_report);
CREATE INDEX qzgl_g_wxid ON wxgroup (g_wxid);
CREATE INDEX qzgl_my_wxid ON wxgroup (my_wxid);

-- Indexes of group_member
CREATE INDEX qzcy_Invoice ON group_member (Invoice);
CREATE INDEX qzcy_g_wxid ON group_member (g_wxid);
CREATE INDEX qzcy_jurisdiction ON group_member (jurisdiction);
CREATE INDEX qzcy_my_wxid ON group_member (my_wxid);
CREATE INDEX qzcy_permissions ON group_member (permissions);
CREATE INDEX qzcy_rebate ON group_member (rebate);
CREATE INDEX qzcy_sj_wxid ON group_member (sj_wxid);
CREATE INDEX qzcy_wx_name ON group_member (wx_name);
CREATE INDEX qzcy_wxid ON group_member (wxid);

-- Indexes of income
CREATE INDEX txsq_creation_time ON income (creation_time DESC);
CREATE INDEX txsq_my_wxid ON income (my_wxid);
CREATE INDEX txsq_settling_time ON income (settling_time DESC);
CREATE INDEX txsq_t_money ON income (t_money);
CREATE INDEX txsq_t_type ON income (t_type);
CREATE INDEX txsq_wxid ON income (wxid);

-- Indexes of Invalid_order
CREATE INDEX sxdd_creation_time ON Invalid_order (creation_time DESC);
CREATE INDEX sxdd_freeze_time ON Invalid_order (freeze_time DESC);
CREATE INDEX sxdd_lhsy_wpos ON Invalid_order (wxid, platform, settling_time DESC, order_state);
CREATE INDEX sxdd_my_wxid ON Invalid_order (my_wxid);
CREATE INDEX sxdd_order_main ON Invalid_order (order_main);
CREATE INDEX sxdd_order_state ON Invalid_order (order_state);
CREATE INDEX sxdd_platform ON Invalid_order (platform);
CREATE INDEX sxdd_seller_nick ON Invalid_order (seller_nick);
CREATE INDEX sxdd_settling_time ON Invalid_order (settling_time DESC);
CREATE INDEX sxdd_wxid ON Invalid_order (wxid);

-- Indexes of member
CREATE INDEX hyxx_grade ON member (grade DESC);
CREATE INDEX hyxx_id ON member (id DESC);
CREATE INDEX hyxx_ktx_money ON member (ktx_money DESC);
CREATE INDEX hyxx_my_wxid ON member (my_wxid);
CREATE INDEX hyxx_pid ON member (pid);
CREATE INDEX hyxx_qd_money ON member (qd_money DESC);
CREATE INDEX hyxx_qd_time ON member (qd_time DESC);
CREATE INDEX hyxx_wsh_money ON member (wsh_money DESC);
CREATE INDEX hyxx_ycs_money ON member (ycs_money DESC);
CREATE INDEX hyxx_zcg_number ON member (zcg_number DESC);
CREATE INDEX hyxx_zfb ON member (zfb);
CREATE INDEX hyxx_ztx_money ON member (ztx_money DESC);

-- Indexes of pid_register
CREATE INDEX pidgl_channel_id ON pid_register (channel_id);
CREATE INDEX pidgl_default_platform ON pid_register (default_platform);
CREATE INDEX pidgl_default_value ON pid_register (default_value);
CREATE INDEX pidgl_platform ON pid_register (platform);
CREATE INDEX pidgl_shield ON pid_register (shield);
CREATE INDEX pidgl_tgw_id ON pid_register (tgw_id);

-- Indexes of register_order
CREATE INDEX ddgl_creation_time ON register_order (creation_time DESC);
CREATE INDEX ddgl_freeze_time ON register_order (freeze_time);
CREATE INDEX ddgl_lhsy_ps ON register_order (platform, settling_time DESC);
CREATE INDEX ddgl_lhsy_wpos ON register_order (wxid, platform, settling_time DESC, order_state);
CREATE INDEX ddgl_my_wxid ON register_order (my_wxid);
CREATE INDEX ddgl_order_main ON register_order (order_main);
CREATE INDEX ddgl_order_state ON register_order (order_state);
CREATE INDEX ddgl_platform ON register_order (platform);
CREATE INDEX ddgl_seller_nick ON register_order (seller_nick);
CREATE INDEX ddgl_settling_time ON register_order (settling_time DESC);
CREATE INDEX ddgl_wxid ON register_order (wxid);

-- Indexes of template
CREATE INDEX dlmb_mb_platform ON template (mb_platform);
CREATE INDEX dlmb_mb_type ON template (mb_type);

-- Indexes of customgoods
CREATE INDEX zdyk_complete_number ON customgoods (complete_number);
CREATE INDEX zdyk_creation_time ON customgoods (creation_time DESC);
CREATE INDEX zdyk_limit_number ON customgoods (limit_number);
CREATE INDEX zdyk_limit_purchasing ON customgoods (limit_purchasing);
CREATE INDEX zdyk_limit_time ON customgoods (limit_time DESC);
CREATE INDEX zdyk_my_wxid ON customgoods (my_wxid);

-- Indexes of social
CREATE INDEX wxsj_my_wxid ON social (my_wxid);
CREATE INDEX wxsj_release_time ON social (release_time DESC);
CREATE INDEX wxsj_robot_collect ON social (robot_collect);
CREATE INDEX wxsj_robot_comments ON social (robot_comments);
CREATE INDEX wxsj_robot_tag ON social (robot_tag);
CREATE INDEX wxsj_wxid ON social (wxid);

-- Indexes of robot_cardrecord
CREATE INDEX dlktjl_share_code ON robot_cardrecord (share_code);

-- Indexes of robot_income
CREATE INDEX robottxjl_agent_id ON robot_income (agent_id);
CREATE INDEX robottxjl_dlw_id ON robot_income (dlw_id);
CREATE INDEX robottxjl_settling_time ON robot_income (settling_time DESC);
CREATE INDEX robottxjl_wxid ON robot_income (wxid);

-- Indexes of custom_variables
CREATE INDEX zdybl_state ON custom_variables (state);

-- Indexes of register_order_history
CREATE INDEX ddgl_h_creation_time ON register_order_history (creation_time DESC);
CREATE INDEX ddgl_h_freeze_time ON register_order_history (freeze_time);
CREATE INDEX ddgl_h_lhsy_ps ON register_order_history (platform, settling_time DESC);
CREATE INDEX ddgl_h_lhsy_wpos ON register_order_history (wxid, platform, settling_time DESC, order_state);
CREATE INDEX ddgl_h_my_wxid ON register_order_history (my_wxid);
CREATE INDEX ddgl_h_order_main ON register_order_history (order_main);
CREATE INDEX ddgl_h_order_state ON register_order_history (order_state);
CREATE INDEX ddgl_h_platform ON register_order_history (platform);
CREATE INDEX ddgl_h_seller_nick ON register_order_history (seller_nick);
CREATE INDEX ddgl_h_settling_time ON register_order_history (settling_time DESC);
CREATE INDEX ddgl_h_wxid ON register_order_history (wxid);

-- Indexes of query_share
CREATE INDEX cxjl_creation_time ON query_share (creation_time);
CREATE INDEX cxjl_id ON query_share (id);

-- The schema repairs that this image already contains.
INSERT INTO sql_repair (id, content, update_time) VALUES (202309090, '1.修复正式版佣金比例错误以及预估收入错误', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202310091, '1.修复合并数据库后订单重复问题', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202310280, '1.修复公众号自动插入新用户微信id数据错误问题\n2.修复未计算预计收入问题\n3.修复统计错误问题 ', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202311070, '1.清除售后中和退货中两个类型 ', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202311140, '1.修复成员信息成员详细没有市区问题 ', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202311180, '1.检测表并创建platform_replace', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202311220, '1.修复获取gf_gzh没有头像绑定以及微信好友插入成员类型为gf_gzh问题', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202312130, '1.修复部分数据库无索引问题,2.修复代理提成json格式错误问题', '2025-09-26 10:34:26');
INSERT INTO sql_repair (id, content, update_time) VALUES (202312160, '1.屏蔽拼多多独立pid 2.修复转移后的member独立pid不是json格式问题 3.register_order表增加索引以及Invalid_order表增加索引', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202312280, '1.修复部分群成员为空的问题 2.修复商城成员重复以及公众号成员重复绑定问题', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202312310, '1.修复数据库失效订单时间显示错误问题', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202401040, '1.修复红包记录表清除主键', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202401150, '1.查询记录增加查询账号id', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202402220, '1.重置统计上下级的数据无法精准统计好数据', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202403030, '1.重置统计上下级的数据无法精准统计好数据', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202404170, '1.补充聚合支付字段', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202405190, '1.增加是失效订单失效时间索引[sxdd_freeze_time]', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202405311, '1.优化修复数据库索引', '2025-09-26 10:33:16');
INSERT INTO sql_repair (id, content, update_time) VALUES (202505130, '1.单账号版本切换到多账户版本', '2025-09-26 10:33:18');
INSERT INTO sql_repair (id, content, update_time) VALUES (202507190, '1.配置表新增字段', '2025-09-26 10:33:16');

COMMIT;
