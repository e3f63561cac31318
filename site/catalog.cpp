#include "site/catalog.h"

#include <algorithm>

namespace site {
namespace {

// Indexes into the section table below; films name the section they are
// filed under by these.
enum SectionIndex {
  kHot,
  kToday,
  kRanking,
  kMovies,
  kSeries,
  kAnimation,
  kMtv,
  kVariety,
  kHd,
  kAction,
  kRomance,
  kHorror,
};

const std::vector<Section>& SectionTable() {
  static const std::vector<Section> kSections = {
      {{"/xiazai/", "/xiazai", "/"},
       "热门影片",
       "本周大家都在下载的影片，适合手机观看。",
       {1701, 1001, 1601, 1501, 1101},
       false},
      {{"/xiazai/2.html"},
       "今日更新",
       "今天新上架的影片与剧集。",
       {1003, 1102, 1202, 1302, 1803},
       false},
      {{"/xiazai/3.html"},
       "下载排行",
       "按下载次数排列的前五名。",
       {1004, 1701, 1603, 1201, 1802},
       true},
      {{"/xiazais/index.html", "/xiazais/", "/xiazais"},
       "手机电影",
       "小屏也好看的各类电影。",
       {1001, 1002, 1003, 1004},
       false},
      {{"/tv/", "/tv"},
       "手机剧集",
       "连续剧按季整理，一集一个文件。",
       {1101, 1102, 1103, 1104},
       false},
      {{"/animation/", "/animation"},
       "手机动漫",
       "全家都能看的动画。",
       {1201, 1202, 1203, 1204},
       false},
      {{"/mtv/", "/mtv"}, "手机MTV", "短小的音乐视频，流量省着用。", {1301, 1302, 1303}, false},
      {{"/arts/", "/arts"}, "手机综艺", "轻松的综艺节目。", {1401, 1402, 1403}, false},
      {{"/drama/", "/drama"},
       "高清电影",
       "画质更好的版本，文件也更大。",
       {1501, 1502, 1503, 1504},
       false},
      {{"/action/", "/action"},
       "手机动作片",
       "追逐、格斗和一点点爆炸。",
       {1601, 1602, 1603, 1604},
       false},
      {{"/romance/", "/romance"},
       "手机爱情片",
       "适合在路上慢慢看的故事。",
       {1701, 1702, 1703, 1704},
       false},
      {{"/horror/", "/horror"},
       "手机恐怖片",
       "胆小的朋友请白天观看。",
       {1801, 1802, 1803, 1804},
       false},
  };
  return kSections;
}

const std::vector<Film>& FilmTable() {
  static const std::vector<Film> kFilms = {
      {1001, "雾港疑云", 2023, "312 MB",
       "港口小城连着三晚起大雾，退休水手说他在雾里看见了一艘早已拆解的渡轮。", kMovies},
      {1002, "纸鸢少年", 2022, "287 MB",
       "乡村少年为了参加城里的风筝比赛，和爷爷一起做了一只会唱歌的纸鸢。", kMovies},
      {1003, "南站的最后一班车", 2024, "305 MB",
       "末班车上的七位乘客各怀心事，司机决定绕一段从没走过的路。", kMovies},
      {1004, "星河信使", 2023, "356 MB",
       "一名邮递员意外接到寄往月球基地的包裹，只好想办法亲自送过去。", kMovies},
      {1101, "青梧巷 第一季", 2023, "1.9 GB（12 集）",
       "老巷子里一家修表铺和它的街坊们，一年四季的小事。", kSeries},
      {1102, "云上客栈", 2024, "2.6 GB（16 集）",
       "城市白领接手山顶上快要倒闭的客栈，第一个客人是只迷路的山羊。", kSeries},
      {1103, "长夜值班表", 2022, "1.5 GB（10 集）", "县医院急诊科的夜班，一晚一个故事。", kSeries},
      {1104, "海棠书局", 2023, "3.1 GB（20 集）",
       "旧书店里夹在书页间的信件，把三代人的故事连在了一起。", kSeries},
      {1201, "小狸猫环游记", 2023, "198 MB", "一只不爱睡觉的小狸猫，跟着候鸟去看大海。",
       kAnimation},
      {1202, "机甲邮差", 2024, "224 MB", "在漂浮群岛之间送信的小机器人，害怕打雷却从不迟到。",
       kAnimation},
      {1203, "月光面包房", 2022, "176 MB", "只在满月之夜开门的面包房，每个面包都能实现一个小愿望。",
       kAnimation},
      {1204, "云朵守卫队", 2023, "205 MB", "三朵性格不同的小云负责给山谷下雨，可它们总是吵架。",
       kAnimation},
      {1301, "晴天收音机", 2023, "28 MB", "老式收音机里传出的夏日旋律。", kMtv},
      {1302, "夏日汽水", 2024, "31 MB", "骑单车穿过海边小镇的一天。", kMtv},
      {1303, "灯火慢慢亮", 2022, "26 MB", "傍晚城市一盏盏亮起的灯，配一首安静的歌。", kMtv},
      {1401, "灶台上的周末", 2024, "1.2 GB（8 期）", "四位嘉宾轮流掌勺，用同一篮食材做出一桌菜。",
       kVariety},
      {1402, "周末去露营", 2023, "1.6 GB（10 期）",
       "一群朋友带着帐篷走遍各地营地，顺便学会了生火。", kVariety},
      {1403, "山谷合唱团", 2023, "1.8 GB（12 期）",
       "从没唱过歌的村民组成合唱团，目标是镇上的新年晚会。", kVariety},
      {1501, "冰原之歌", 2022, "1.2 GB", "科考队在冰原上守候极光，也在等一封迟到的回信。", kHd},
      {1502, "远方的灯塔", 2023, "1.1 GB", "灯塔看守人的女儿决定留在岛上，直到最后一艘船回港。",
       kHd},
      {1503, "千里之外的家书", 2024, "1.3 GB", "一封寄错了地址的家书，让两个陌生家庭成了亲戚。",
       kHd},
      {1504, "白鹭湾", 2023, "1.0 GB", "湿地保护站的年轻人和每年准时回来的白鹭。", kHd},
      {1601, "霓虹追击线", 2023, "342 MB", "快递骑手卷入一场深夜追逐，唯一的线索是一张外卖单。",
       kAction},
      {1602, "铁拳码头", 2022, "329 MB", "退役拳手回到码头，为老朋友讨一个公道。", kAction},
      {1603, "天台对决", 2024, "318 MB", "暴雨夜的写字楼天台，两名保安对上了一伙窃贼。", kAction},
      {1604, "暗夜快递", 2023, "335 MB", "一只必须在天亮前送到的神秘箱子。", kAction},
      {1701, "蓝湖夏夜", 2023, "296 MB", "暑假在湖边民宿打工的两个年轻人，约定明年夏天再见。",
       kRomance},
      {1702, "雨停之后", 2024, "301 MB", "同一把伞下躲雨的两个人，发现彼此住在同一栋楼。",
       kRomance},
      {1703, "慢车情书", 2022, "284 MB", "绿皮火车上的列车员，每周都会收到同一位乘客的信。",
       kRomance},
      {1704, "樱花信箱", 2023, "279 MB", "学校旧信箱里塞满了十年前没寄出的告白。", kRomance},
      {1801, "四楼的空房间", 2023, "266 MB", "新搬来的租客总在半夜听到楼上空房间里有人走动。",
       kHorror},
      {1802, "午夜电梯", 2022, "258 MB", "写字楼的电梯每到零点都会自己停在十三层。", kHorror},
      {1803, "旧宅回声", 2024, "271 MB", "继承老宅的姐弟俩，在阁楼找到一卷会自己播放的磁带。",
       kHorror},
      {1804, "第十三号病房", 2023, "263 MB", "实习护士接手夜班后，才知道医院根本没有十三号病房。",
       kHorror},
  };
  return kFilms;
}

}  // namespace

std::span<const Section> Sections() { return SectionTable(); }

std::span<const Film> Films() { return FilmTable(); }

const Section* FindSection(std::string_view normalizedPath) {
  for (const Section& section : SectionTable()) {
    if (std::ranges::find(section.paths, normalizedPath) != section.paths.end()) {
      return &section;
    }
  }
  return nullptr;
}

const Film* FindFilm(int id) {
  for (const Film& film : FilmTable()) {
    if (film.id == id) return &film;
  }
  return nullptr;
}

}  // namespace site
